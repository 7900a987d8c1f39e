// nimbo::HeadlessBrowser: navigation records, and save-as and print over the shown file.
#include "nimbo/headless_browser.h"

#include <fmt/format.h>

#include <exception>
#include <string>
#include <system_error>

#include "nimbo/error.h"

namespace nimbo {
namespace {

constexpr const char* kBlank = "about:blank";

bool IsBlank(const std::string& url) {
  if (url.size() != std::char_traits<char>::length(kBlank)) return false;
  for (std::size_t i = 0; i < url.size(); ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kBlank[i]) return false;
  }
  return true;
}

}  // namespace

void HeadlessBrowser::Navigate(const std::string& url) {
  // Dropping the oldest is a move of kKeptNavigations strings, not a reallocation: the vector's
  // capacity stays where it was, so memory is flat however long the host runs.
  if (navigations_.size() == kKeptNavigations) navigations_.erase(navigations_.begin());
  navigations_.push_back(url);
  ++navigation_count_;
  location_ = url;
  if (listener_) listener_(url);
}

void HeadlessBrowser::ExecWB(int command, int option) {
  switch (command) {
    case kCmdSaveAs:
      SaveAs(option);
      return;
    case kCmdPrint:
      Print(option);
      return;
    default:
      throw Error::WithDetail(err::kInvalidCall,
                              fmt::format("Browser command {} is not supported", command));
  }
}

std::filesystem::path HeadlessBrowser::ShownFile(const char* command) const {
  if (location_.empty() || IsBlank(location_)) {
    throw Error::WithDetail(err::kInvalidCall,
                            fmt::format("Nothing to {}: no document is shown", command));
  }
  const std::filesystem::path shown(location_);
  std::error_code error;
  const auto status = std::filesystem::status(shown, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw Error::WithDetail(err::kFileNotFound, fmt::format("{}: no such file", location_));
  }
  if (error || status.type() != std::filesystem::file_type::regular) {
    throw Error::WithDetail(err::kPathFileAccess,
                            fmt::format("{} is not a readable file", location_));
  }
  return shown;
}

void HeadlessBrowser::SaveAs(int option) {
  const std::filesystem::path shown = ShownFile("save");
  if (!save_path_) {
    throw Error::WithDetail(err::kInvalidCall,
                            "Save As is not available: the host supplies no save dialog");
  }
  const std::optional<std::filesystem::path> target = save_path_(shown, option);
  if (!target) return;  // the user cancelled the dialog

  std::error_code error;
  if (std::filesystem::equivalent(shown, *target, error)) return;
  error.clear();
  std::filesystem::copy_file(shown, *target, std::filesystem::copy_options::overwrite_existing,
                             error);
  if (error) {
    throw Error::WithDetail(err::kPathFileAccess,
                            fmt::format("cannot save {} as {}: {}", location_, target->string(),
                                        error.message()));
  }
}

void HeadlessBrowser::Print(int option) {
  const std::filesystem::path shown = ShownFile("print");
  if (!printer_) {
    throw Error::WithDetail(err::kInvalidCall,
                            "Print is not available: the host supplies no printer");
  }
  try {
    printer_(shown, option);
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    throw Error::WithDetail(err::kInvalidCall, e.what());
  }
}

}  // namespace nimbo
