// A host with controls of its own: what an adapter for a GUI toolkit must do, shown on the
// smallest "toolkit" there is, the terminal. TextTree is the tree view (it draws itself as an
// indented outline), TextBrowser the web browser (it shows a page as its plain text and saves
// or prints it). A real adapter maps the same members onto its widgets: a tree widget's items,
// a web view's load and print. Usage: custom_host FORM.json [NODE TEXT]...
//
// Each NODE TEXT selects the child of the selected node with that text and displays it, as a
// click would. Everything runs on the one thread, as the component requires.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "nimbo/container.h"
#include "nimbo/error.h"
#include "nimbo/json_property_bag.h"
#include "nimbo/nimbo.h"
#include "nimbo/tree_view.h"
#include "nimbo/web_browser.h"

namespace {

using nimbo::err::kKeyNotUnique;
using nimbo::err::kObjectNotSet;
using nimbo::err::kSubscriptOutOfRange;

class TextTree;

// One item of the tree. The component keeps shared pointers to nodes across calls, so a node
// that was removed must answer 91 instead of touching the tree.
class TextNode : public nimbo::Node, public std::enable_shared_from_this<TextNode> {
 public:
  explicit TextNode(TextTree* tree) : tree_(tree) {}

  std::string Tag() const override { return Live().tag_; }
  void Tag(const std::string& value) override { Live().tag_ = value; }
  std::string Text() const override { return Live().text_; }
  void Text(const std::string& value) override { Live().text_ = value; }
  std::string Key() const override { return Live().key_; }
  void Key(const std::string& value) override;
  std::int32_t ForeColor() const override { return Live().color_; }
  void ForeColor(std::int32_t value) override { Live().color_ = value; }
  std::string Image() const override { return Live().image_; }
  void Image(const std::string& value) override { Live().image_ = value; }
  bool Expanded() const override { return Live().expanded_; }
  void Expanded(bool value) override { Live().expanded_ = value; }
  bool Selected() const override;
  void Selected(bool value) override;
  int Children() const override { return static_cast<int>(Live().children_.size()); }
  std::shared_ptr<nimbo::Node> Child() const override {
    return Live().children_.empty() ? nullptr : children_.front();
  }
  std::shared_ptr<nimbo::Node> FirstSibling() const override { return Siblings().front(); }
  std::shared_ptr<nimbo::Node> LastSibling() const override { return Siblings().back(); }
  std::shared_ptr<nimbo::Node> Next() const override {
    const auto& siblings = Siblings();
    auto it = std::find(siblings.begin(), siblings.end(), shared_from_this());
    return ++it == siblings.end() ? nullptr : *it;
  }
  std::shared_ptr<nimbo::Node> Parent() const override { return Live().parent_.lock(); }
  int Index() const override;
  std::string FullPath() const override;
  void EnsureVisible() override {
    for (auto up = Live().parent_.lock(); up; up = up->parent_.lock()) up->expanded_ = true;
  }

 private:
  friend class TextTree;

  const TextNode& Live() const {
    if (!tree_) throw nimbo::Error(kObjectNotSet);
    return *this;
  }
  TextNode& Live() {
    if (!tree_) throw nimbo::Error(kObjectNotSet);
    return *this;
  }
  const std::vector<std::shared_ptr<TextNode>>& Siblings() const;

  TextTree* tree_;  // null once removed
  std::weak_ptr<TextNode> parent_;
  std::vector<std::shared_ptr<TextNode>> children_;
  std::string tag_, text_, key_, image_;
  std::int32_t color_ = 0;
  bool expanded_ = false;
};

class TextTree : public nimbo::TreeView {
 public:
  // What a widget would show: the outline of expanded nodes, the selected one marked.
  void Draw(std::ostream& out) const {
    for (const auto& root : roots_) Draw(out, *root, 0);
  }

  void LabelEdit(int) override {}  // the terminal never edits labels
  void Sorted(bool value) override { sorted_ = value; }
  void Enabled(bool value) override { enabled_ = value; }
  void MousePointer(int) override {}
  void Refresh() override {}
  std::string PathSeparator() const override { return "\\"; }
  void Clear() override {
    for (auto& node : nodes_) node->tree_ = nullptr;
    nodes_.clear();
    roots_.clear();
    selected_.reset();
  }
  std::shared_ptr<nimbo::Node> Add() override {
    auto node = std::make_shared<TextNode>(this);
    roots_.push_back(node);
    nodes_.push_back(node);
    return node;
  }
  std::shared_ptr<nimbo::Node> Add(const std::shared_ptr<nimbo::Node>& relative,
                                   nimbo::Relationship relationship, const std::string& key,
                                   const std::string& text, const std::string& image) override {
    auto anchor = std::dynamic_pointer_cast<TextNode>(relative);
    if (!anchor || anchor->tree_ != this) throw nimbo::Error(kObjectNotSet);
    if (!key.empty() && FindKey(key)) throw nimbo::Error(kKeyNotUnique);
    auto node = std::make_shared<TextNode>(this);
    node->key_ = key;
    node->text_ = text;
    node->image_ = image;
    const bool as_child = relationship == nimbo::Relationship::kChild;
    auto parent = as_child ? anchor : anchor->parent_.lock();
    auto& siblings = parent ? parent->children_ : roots_;
    node->parent_ = parent;
    auto at = siblings.end();
    if (sorted_) {
      at = std::find_if(siblings.begin(), siblings.end(),
                        [&](const auto& other) { return other->text_ > text; });
    } else if (relationship == nimbo::Relationship::kFirst) {
      at = siblings.begin();
    } else if (relationship == nimbo::Relationship::kNext ||
               relationship == nimbo::Relationship::kPrevious) {
      at = std::find(siblings.begin(), siblings.end(), anchor);
      if (relationship == nimbo::Relationship::kNext) ++at;
    }
    siblings.insert(at, node);
    nodes_.push_back(node);
    return node;
  }
  int Count() const override { return static_cast<int>(nodes_.size()); }
  std::shared_ptr<nimbo::Node> Item(int index) const override {
    if (index < 1 || index > Count()) throw nimbo::Error(kSubscriptOutOfRange);
    return nodes_[static_cast<std::size_t>(index - 1)];
  }
  std::shared_ptr<nimbo::Node> Item(const std::string& key) const override {
    if (auto node = FindKey(key)) return node;
    throw nimbo::Error(kSubscriptOutOfRange);
  }
  void Remove(int index) override {
    auto node = std::static_pointer_cast<TextNode>(Item(index));
    auto parent = node->parent_.lock();
    auto& siblings = parent ? parent->children_ : roots_;
    siblings.erase(std::find(siblings.begin(), siblings.end(), node));
    Forget(node);
  }
  std::shared_ptr<nimbo::Node> SelectedItem() const override {
    auto node = selected_.lock();
    if (!node) throw nimbo::Error(kObjectNotSet);
    return node;
  }

 private:
  friend class TextNode;

  std::shared_ptr<TextNode> FindKey(const std::string& key) const {
    auto it = std::find_if(nodes_.begin(), nodes_.end(),
                           [&](const auto& node) { return node->key_ == key; });
    return it == nodes_.end() ? nullptr : *it;
  }
  // Drops a removed subtree from the collection without recursing: a deep tree cannot
  // exhaust the stack.
  void Forget(const std::shared_ptr<TextNode>& top) {
    std::vector<std::shared_ptr<TextNode>> pending{top};
    while (!pending.empty()) {
      auto node = pending.back();
      pending.pop_back();
      pending.insert(pending.end(), node->children_.begin(), node->children_.end());
      nodes_.erase(std::find(nodes_.begin(), nodes_.end(), node));
      if (selected_.lock() == node) selected_.reset();
      node->tree_ = nullptr;
    }
  }
  // Draws with a stack of its own rather than recursion: a deep tree cannot exhaust the stack.
  void Draw(std::ostream& out, const TextNode& top, int top_depth) const {
    std::vector<std::pair<const TextNode*, int>> pending{{&top, top_depth}};
    while (!pending.empty()) {
      const auto [node, depth] = pending.back();
      pending.pop_back();
      out << std::string(static_cast<std::size_t>(depth) * 2, ' ')
          << (node->children_.empty() ? "  "
              : node->expanded_       ? "- "
                                      : "+ ")
          << node->text_ << (selected_.lock().get() == node ? "  <" : "") << "\n";
      if (!node->expanded_) continue;
      for (auto child = node->children_.rbegin(); child != node->children_.rend(); ++child) {
        pending.emplace_back(child->get(), depth + 1);
      }
    }
  }

  std::vector<std::shared_ptr<TextNode>> nodes_;  // the collection, in the order added
  std::vector<std::shared_ptr<TextNode>> roots_;
  std::weak_ptr<TextNode> selected_;
  bool sorted_ = false;
  bool enabled_ = true;
};

void TextNode::Key(const std::string& value) {
  Live();
  if (!value.empty() && value != key_ && tree_->FindKey(value)) throw nimbo::Error(kKeyNotUnique);
  key_ = value;
}
bool TextNode::Selected() const { return Live().tree_->selected_.lock().get() == this; }
void TextNode::Selected(bool value) {
  auto& selected = Live().tree_->selected_;
  if (value) {
    selected = std::static_pointer_cast<TextNode>(shared_from_this());
  } else if (selected.lock().get() == this) {
    selected.reset();
  }
}
const std::vector<std::shared_ptr<TextNode>>& TextNode::Siblings() const {
  auto parent = Live().parent_.lock();
  return parent ? parent->children_ : tree_->roots_;
}
int TextNode::Index() const {
  const auto& nodes = Live().tree_->nodes_;
  return static_cast<int>(std::find(nodes.begin(), nodes.end(), shared_from_this()) -
                          nodes.begin()) +
         1;
}
std::string TextNode::FullPath() const {
  std::string path = Live().text_;
  for (auto up = parent_.lock(); up; up = up->parent_.lock()) {
    path = up->text_ + tree_->PathSeparator() + path;
  }
  return path;
}

// The browser: shows the page file the component wrote as plain text; saves by copying it and
// prints to standard output. Failures are nimbo::Error, which the component reports.
class TextBrowser : public nimbo::WebBrowser {
 public:
  void Navigate(const std::string& url) override {
    shown_ = url;
    std::cout << "[browser] " << url << "\n";
    if (url == "about:blank") return;
    std::ifstream in(url, std::ios::binary);
    const std::string html{std::istreambuf_iterator<char>(in), {}};
    std::cout << PlainText(html) << "\n";
  }
  void ExecWB(int command, int /*option*/) override {
    if (shown_.empty() || shown_ == "about:blank")
      throw nimbo::Error(nimbo::err::kInvalidCall, "No page is shown");
    if (command == nimbo::kCmdSaveAs) {
      std::error_code error;
      std::filesystem::copy_file(shown_, "saved.htm",
                                 std::filesystem::copy_options::overwrite_existing, error);
      if (error) throw nimbo::Error(nimbo::err::kPathFileAccess, error.message());
    } else if (command == nimbo::kCmdPrint) {
      std::cout << "[printer] " << shown_ << "\n";
    }
  }

 private:
  // Markup, style sheets and scripts dropped, runs of white space folded: enough to read a
  // report in a terminal.
  static std::string PlainText(const std::string& html) {
    std::string text;
    std::size_t at = 0;
    while (at < html.size()) {
      if (html[at] == '<') {
        std::size_t end = html.find('>', at);
        if (end == std::string::npos) break;
        for (const char* element : {"style", "script"}) {
          const std::string open = std::string("<") + element;
          if (html.compare(at, open.size(), open) == 0) {
            end = html.find(std::string("</") + element, end);
            end = end == std::string::npos ? html.size() : html.find('>', end);
          }
        }
        at = end == std::string::npos ? html.size() : end + 1;
        if (!text.empty() && text.back() != ' ') text += ' ';
        continue;
      }
      const char c = html[at++];
      const bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t';
      if (!space) {
        text += c;
      } else if (!text.empty() && text.back() != ' ') {
        text += ' ';
      }
    }
    return text;
  }

  std::string shown_;
};

class Host : public nimbo::Events {
 public:
  void Busy(bool busy) override { std::cout << (busy ? "[busy]" : "[ready]") << "\n"; }
  void NimboMessage(const std::string& text) override { std::cout << "Message: " << text << "\n"; }
  void LogIt(const std::string& type, const std::string& what) override {
    std::cout << type << ": " << what << "\n";
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: custom_host FORM.json [NODE TEXT]...\n";
    return 2;
  }
  try {
    nimbo::Nimbo browser(std::make_shared<nimbo::RunTimeContainer>(), std::make_shared<Host>());
    auto bag = nimbo::JsonPropertyBag::Load(argv[1]);
    browser.ReadProperties(bag);
    browser.UserRole(1);
    auto tree = std::make_shared<TextTree>();
    browser.SetControls(tree, std::make_shared<TextBrowser>());
    browser.RefreshBrowser();
    for (int i = 2; i < argc; ++i) {
      std::shared_ptr<nimbo::Node> match;
      for (auto child = tree->SelectedItem()->Child(); child && !match; child = child->Next()) {
        if (child->Text() == argv[i]) match = child;
      }
      if (!match) {
        std::cerr << "custom_host: no node \"" << argv[i] << "\" here\n";
        return 2;
      }
      match->Selected(true);
      browser.DisplayFor(match);
    }
    tree->Draw(std::cout);
    return 0;
  } catch (const nimbo::Error& e) {
    std::cerr << "custom_host: Error " << e.number() << ", " << e.description() << "\n";
    return 1;
  }
}
