// The scripted steps of nimbo-desk.
#include "desk/script.h"

#include <QImage>
#include <QPixmap>
#include <QTreeWidget>
#include <QWebEngineView>
#include <chrono>
#include <cmath>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "commands.h"
#include "desk/wait.h"

namespace nimbo::app::desk {
namespace {

using std::chrono::milliseconds;

// Whether the view's part of a grab shows something: more than one colour, and not only white.
// A grab taken before the engine has painted its first frame is one flat colour.
bool ShowsSomething(const QImage& image, const QRect& area) {
  const QRect box = area.intersected(image.rect());
  if (box.isEmpty()) return false;
  const QRgb first = image.pixel(box.topLeft());
  bool varied = false;
  bool not_white = qRed(first) < 250 || qGreen(first) < 250 || qBlue(first) < 250;
  for (int y = box.top(); y <= box.bottom() && !(varied && not_white); y += 2) {
    for (int x = box.left(); x <= box.right(); x += 2) {
      const QRgb pixel = image.pixel(x, y);
      if (pixel != first) varied = true;
      if (qRed(pixel) < 250 || qGreen(pixel) < 250 || qBlue(pixel) < 250) not_white = true;
      if (varied && not_white) break;
    }
  }
  return varied && not_white;
}

class Script {
 public:
  Script(MainWindow& window, const DeskOptions& options)
      : window_(window),
        options_(options),
        step_(milliseconds(static_cast<long>(std::ceil(options.step_timeout * 1000)))) {}

  int Run() {
    window_.Refresh();
    if (!WaitForPage("the front page")) return kExitFailure;
    for (const std::string& text : options_.walk.selections) {
      if (const int status = Select(text); status != kExitOk) return status;
    }
    if (options_.walk.has_url && !ProcessUrl(options_.walk.url)) failed_ = true;
    if (!options_.session.save_to.empty()) window_.SavePage();
    if (!options_.session.print_to.empty()) window_.PrintPage();
    if (options_.walk.tree) window_.session().PrintTree();
    if (!options_.mail_to.empty() && !Mail()) failed_ = true;
    if (!options_.screenshot.empty() && !Screenshot(options_.screenshot)) failed_ = true;
    if (failed_) return kExitFailure;
    return window_.session().WalkStatus();
  }

 private:
  bool Fail(const std::string& what) {
    std::cerr << "nimbo-desk: " << what << "\n";
    failed_ = true;
    return false;
  }

  // Waits until no display runs and the view has loaded what it was last told to show; with
  // `must_load`, that load must have succeeded (a link the view was told not to follow ends as
  // a cancelled load, which is no failure).
  bool WaitForPage(const std::string& what, bool must_load = true) {
    const bool loaded =
        WaitUntil([this] { return !window_.displaying() && !window_.browser().busy(); }, step_);
    if (!loaded) {
      return Fail(what + " did not load within " + std::to_string(step_.count() / 1000) +
                  " seconds");
    }
    if (must_load && !window_.browser().lastLoadOk()) {
      return Fail("the view could not load " + what);
    }
    return true;
  }

  // Clicks the child of the selected node with this text, the way a user does: the widget's
  // current item changes, the tree view tells the window, the window displays the node.
  int Select(const std::string& text) {
    const auto child = window_.session().ChildOfSelected(text);
    QTreeWidgetItem* item = child ? window_.tree().ItemFor(child) : nullptr;
    if (item == nullptr) {
      std::cerr << "nimbo-desk: the selected node has no child \"" << text << "\"\n";
      return kExitUsage;
    }
    window_.tree().widget()->setCurrentItem(item);
    if (!WaitForPage("the page of \"" + text + "\"")) return kExitFailure;
    return kExitOk;
  }

  // Hands an address to the view as a navigation from the shown page, so that it takes the
  // path of a link the user follows: the page resolves it, the adapter's navigation check
  // decodes it and calls link processing, which prints its ProcessURL line. Without a page to
  // navigate from (or for a script address, which is never run) link processing gets it
  // directly.
  bool ProcessUrl(const std::string& url) {
    QWebEngineView* view = window_.view();
    const bool scriptable = url.rfind("javascript:", 0) != 0;
    if (view == nullptr || !view->url().isLocalFile() || !scriptable) {
      window_.session().ProcessUrl(url);
      return true;
    }
    const int before = window_.links_processed();
    const std::string literal =
        nlohmann::json(url).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
    view->page()->runJavaScript(QString::fromStdString("window.location.href = " + literal + ";"));
    if (!WaitUntil([&] { return window_.links_processed() > before; }, step_)) {
      return Fail("the view did not hand " + url + " to link processing in time");
    }
    return WaitForPage("the link " + url, false);
  }

  bool Mail() {
    if (!window_.StartMail("", options_.mail_to, options_.subject, options_.message)) {
      return false;
    }
    const auto limit =
        milliseconds(static_cast<long>(std::ceil(options_.mail_timeout * 1000))) + step_;
    if (!WaitUntil([this] { return !window_.mailing(); }, limit)) {
      return Fail("the mail conversation did not end in time");
    }
    if (!window_.mail_sent()) return Fail("the mail was not sent");
    return true;
  }

  // Grabs the window once the view has painted the shown page: a grab right at the end of the
  // load can still show the previous frame or an empty one, so the grab is repeated until the
  // view's part shows something (or the step's time is up).
  bool Screenshot(const std::string& file) {
    if (!WaitForPage("the page to grab", false)) return false;
    QWebEngineView* view = window_.view();
    const QRect area(view->mapTo(&window_, QPoint(0, 0)), view->size());
    QImage image;
    const bool painted = WaitUntil(
        [&] {
          Pause(milliseconds(150));
          image = window_.grab().toImage();
          return ShowsSomething(image, area);
        },
        step_);
    if (!painted) return Fail("the view showed nothing to grab in time");
    if (!image.save(QString::fromStdString(file), "PNG")) {
      return Fail("cannot write the screenshot " + file);
    }
    return true;
  }

  MainWindow& window_;
  const DeskOptions& options_;
  const milliseconds step_;
  bool failed_ = false;
};

}  // namespace

int RunScript(MainWindow& window, const DeskOptions& options) {
  return Script(window, options).Run();
}

}  // namespace nimbo::app::desk
