// Diagnostics through BlaBla, and the mapping of any failure to a run-time error.
#include "control/diagnostics.h"

#include <filesystem>
#include <new>
#include <stdexcept>
#include <variant>

#include <fmt/format.h>

namespace nimbo {

Error AsError(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Error& e) {
    return e;
  } catch (const std::filesystem::filesystem_error& e) {
    return Error::WithDetail(err::kPathFileAccess, e.what());
  } catch (const std::bad_variant_access&) {
    return Error(err::kTypeMismatch);
  } catch (const std::out_of_range&) {
    return Error(err::kSubscriptOutOfRange);
  } catch (const std::bad_alloc&) {
    return Error(err::kOutOfMemory);
  } catch (const std::exception& e) {
    return Error::WithDetail(err::kInvalidCall, e.what());
  } catch (...) {
    return Error(err::kInvalidCall);
  }
}

void ReportError(const ControlState& s, const Error& error) {
  if (error.number() == 0) return;
  Talk(s, [&] { return fmt::format("Error: {}, {}", error.number(), error.description()); });
  TalkDetail(s, error);
}

void TalkDetail(const ControlState& s, const Error& error) {
  if (!error.detail().empty()) Talk(s, [&] { return error.detail(); });
}

}  // namespace nimbo
