// Shared texts held once, with a count of their holders.
#include "platform/text_pool.h"

namespace nimbo {
namespace {

const std::string& EmptyText() {
  static const std::string empty;
  return empty;
}

}  // namespace

std::uint32_t TextPool::Acquire(std::string_view text) {
  if (text.empty()) return 0;
  if (auto found = ids_.find(text); found != ids_.end()) {
    ++entries_[found->second].holders;
    return found->second;
  }
  std::uint32_t id = 0;
  if (free_.empty()) {
    id = static_cast<std::uint32_t>(entries_.size());
    entries_.emplace_back();
  } else {
    id = free_.back();
    free_.pop_back();
  }
  auto [it, added] = ids_.emplace(std::string(text), id);
  entries_[id] = Entry{&it->first, 1};
  return id;
}

void TextPool::Release(std::uint32_t id) {
  if (id == 0) return;
  Entry& entry = entries_[id];
  if (--entry.holders > 0) return;
  ids_.erase(ids_.find(*entry.text));
  entry = Entry{};
  free_.push_back(id);
}

const std::string& TextPool::Text(std::uint32_t id) const {
  return id == 0 ? EmptyText() : *entries_[id].text;
}

void TextPool::Clear() {
  ids_.clear();
  entries_.assign(1, Entry{});
  free_.clear();
}

}  // namespace nimbo
