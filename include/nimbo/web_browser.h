// The host's web browser, as the component uses it. In-process implementation:
// nimbo::HeadlessBrowser (nimbo/headless_browser.h).
// Thread-safety: only the host's user-interface thread calls these.
#ifndef NIMBO_WEB_BROWSER_H_
#define NIMBO_WEB_BROWSER_H_

#include <string>

#include "nimbo/export.h"

namespace nimbo {

// ExecWB command ids and options the component uses.
inline constexpr int kCmdSaveAs = 4;
inline constexpr int kCmdPrint = 6;
inline constexpr int kPromptUser = 1;

class NIMBO_API WebBrowser {
 public:
  virtual ~WebBrowser() = default;
  WebBrowser() = default;
  WebBrowser(const WebBrowser&) = delete;
  WebBrowser& operator=(const WebBrowser&) = delete;

  // Starts showing a document: a file path or "about:blank". Returns before loading ends.
  virtual void Navigate(const std::string& url) = 0;
  // Runs a browser command on the shown document (kCmdSaveAs, kCmdPrint) with an option
  // (kPromptUser lets the browser ask the user). Raises nimbo::Error with a description when
  // the command fails.
  virtual void ExecWB(int command, int option) = 0;
};

}  // namespace nimbo

#endif  // NIMBO_WEB_BROWSER_H_
