// nimbo::HeadlessBrowser: a web browser with no screen, for the command-line hosts and tests. It
// records where it was sent and carries out save-as and print through functions the host
// supplies (the host's "dialog" and "printer").
//
// [X] Navigate: records the recent addresses in order and tells the host's listener. A host
//     that displays pages for days navigates without end, so only the last
//     kKeptNavigations addresses are kept, plus a count of them all.
// [X] ExecWB(kCmdSaveAs): copies the shown file to the path the host's save provider chooses.
// [X] ExecWB(kCmdPrint): hands the shown file to the host's printer.
// [ ] Loading, rendering and link clicks: a host that needs them uses a real browser.
//
// "Shown" means the last address navigated to, read as a file path when the command runs.
// Thread-safety: not thread-safe; one thread, the host's.
#ifndef NIMBO_HEADLESS_BROWSER_H_
#define NIMBO_HEADLESS_BROWSER_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "nimbo/export.h"
#include "nimbo/web_browser.h"

namespace nimbo {

class NIMBO_API HeadlessBrowser : public WebBrowser {
 public:
  // Called after each navigation has been recorded, with its address.
  using NavigateListener = std::function<void(const std::string& url)>;
  // Chooses where to save `shown` (the file being shown); `option` is ExecWB's option
  // (kPromptUser: ask the user). Returns the destination, or nothing when the user cancels.
  using SavePathProvider = std::function<std::optional<std::filesystem::path>(
      const std::filesystem::path& shown, int option)>;
  // Prints a file; `option` is ExecWB's option. Raises nimbo::Error when printing fails (any
  // other exception is turned into error 5 with its message).
  using Printer = std::function<void(const std::filesystem::path& file, int option)>;

  // How many of the latest addresses Navigations() keeps.
  static constexpr std::size_t kKeptNavigations = 64;

  HeadlessBrowser() = default;

  // Records the address (a file path or "about:blank") as the shown document. Never fails by
  // itself; an exception from the listener passes through.
  void Navigate(const std::string& url) override;
  // Errors, all nimbo::Error with the classic description and a detail that says what went
  // wrong (which file, which command):
  //   5  an unknown command; nothing or "about:blank" shown; no provider or printer set
  //   53 the shown file does not exist
  //   75 the shown path is not a regular file, or the copy fails
  // A save the provider cancels does nothing and raises nothing. Saving a file onto itself
  // succeeds without copying.
  void ExecWB(int command, int option) override;

  // Host side. Each setter replaces what was set before; an empty function removes it.
  void SetNavigateListener(NavigateListener listener) { listener_ = std::move(listener); }
  void SetSavePathProvider(SavePathProvider provider) { save_path_ = std::move(provider); }
  void SetPrinter(Printer printer) { printer_ = std::move(printer); }

  // The latest addresses navigated to (at most kKeptNavigations), oldest first: everything
  // while fewer were visited, so short runs and tests see the whole sequence.
  const std::vector<std::string>& Navigations() const { return navigations_; }
  // How many navigations there have been in all, including those no longer kept.
  std::uint64_t NavigationCount() const { return navigation_count_; }
  // The shown address: the last one navigated to, or empty before the first navigation.
  const std::string& LocationURL() const { return location_; }

 private:
  // The shown document as an existing regular file; raises as ExecWB describes.
  std::filesystem::path ShownFile(const char* command) const;
  void SaveAs(int option);
  void Print(int option);

  std::vector<std::string> navigations_;
  std::uint64_t navigation_count_ = 0;
  std::string location_;
  NavigateListener listener_;
  SavePathProvider save_path_;
  Printer printer_;
};

}  // namespace nimbo

#endif  // NIMBO_HEADLESS_BROWSER_H_
