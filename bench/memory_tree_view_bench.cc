// Memory tree view costs at 1k, 10k and 100k nodes, per operation, for three shapes: all nodes
// under one parent unsorted, the same sorted by text, and a bushy tree four children wide.
// Flat per-operation times across the sizes (and the fitted complexity) show O(1) or O(log n).
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "nimbo/memory_tree_view.h"

namespace nimbo {
namespace {

using NodePtr = std::shared_ptr<Node>;

enum Shape { kFlat, kFlatSorted, kBushy };

// A fixed pseudo-random sequence, so every run asks the same questions.
std::uint32_t Mix(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

std::string TextOf(int i) { return fmt::format("{:08x}", Mix(static_cast<std::uint32_t>(i))); }
std::string KeyOf(int i) { return fmt::format("{:010d}G{}", i, i); }

struct Fixture {
  std::unique_ptr<MemoryTreeView> tree = std::make_unique<MemoryTreeView>();
  std::vector<NodePtr> nodes;  // in order of addition
};

// A tree of `n` nodes: a root and n - 1 nodes below it in the given shape.
Fixture Build(Shape shape, int n) {
  Fixture f;
  f.nodes.reserve(static_cast<std::size_t>(n));
  if (shape == kFlatSorted) f.tree->Sorted(true);
  f.nodes.push_back(f.tree->Add(nullptr, Relationship::kLast, KeyOf(0), "Data Browser", "Net"));
  for (int i = 1; i < n; ++i) {
    const NodePtr& parent =
        shape == kBushy ? f.nodes[static_cast<std::size_t>((i - 1) / 4)] : f.nodes.front();
    f.nodes.push_back(f.tree->Add(parent, Relationship::kChild, KeyOf(i), TextOf(i), "group"));
  }
  return f;
}

// Positions 0..n-1 in a scattered order, cycled through by the per-operation benchmarks.
std::vector<int> Picks(int n) {
  std::vector<int> picks(4096);
  for (std::size_t i = 0; i < picks.size(); ++i) {
    picks[i] = static_cast<int>(Mix(static_cast<std::uint32_t>(i) + 12345U) %
                                static_cast<std::uint32_t>(n));
  }
  return picks;
}

void PerNode(benchmark::State& state, std::int64_t nodes) {
  state.SetComplexityN(state.range(0));
  state.counters["per_node"] =
      benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

// Building the whole tree; per_node is the cost of one Add.
template <Shape kShape>
void BM_Build(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Fixture f = Build(kShape, n);
    benchmark::DoNotOptimize(f.tree->Count());
    state.PauseTiming();
    f = Fixture();  // tearing down is not building
    state.ResumeTiming();
  }
  PerNode(state, n);
}

template <Shape kShape>
void BM_ItemByKey(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fixture f = Build(kShape, n);
  std::vector<std::string> keys;
  for (int pick : Picks(n)) keys.push_back(KeyOf(pick));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.tree->Item(keys[i++ % keys.size()]));
  }
  state.SetComplexityN(n);
}

template <Shape kShape>
void BM_ItemByIndex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fixture f = Build(kShape, n);
  const std::vector<int> picks = Picks(n);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.tree->Item(picks[i++ % picks.size()] + 1));
  }
  state.SetComplexityN(n);
}

template <Shape kShape>
void BM_NodeIndex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fixture f = Build(kShape, n);
  // Remove every tenth leaf first, so indexes are renumbered ones, not addition order.
  for (std::size_t k = 1; k < f.nodes.size(); k += 10) {
    if (f.nodes[k]->Children() == 0) f.tree->Remove(f.nodes[k]->Index());
  }
  std::vector<NodePtr> live;
  for (int pick : Picks(f.tree->Count())) live.push_back(f.tree->Item(pick + 1));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(live[i++ % live.size()]->Index());
  }
  state.SetComplexityN(n);
}

template <Shape kShape>
void BM_Count(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fixture f = Build(kShape, n);
  for (auto _ : state) benchmark::DoNotOptimize(f.tree->Count());
  state.SetComplexityN(n);
}

// One Next() step along the siblings, starting again at the first child after the last.
template <Shape kShape>
void BM_Next(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fixture f = Build(kShape, n);
  const NodePtr first = f.nodes.front()->Child();
  NodePtr node = first;
  for (auto _ : state) {
    node = node->Next();
    if (!node) node = first;
    benchmark::DoNotOptimize(node.get());
  }
  state.SetComplexityN(n);
}

// Adding one node at a scattered place and removing it again, at a steady tree size.
template <Shape kShape>
void BM_AddAndRemove(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fixture f = Build(kShape, n);
  const std::vector<int> picks = Picks(n);
  std::size_t i = 0;
  for (auto _ : state) {
    const int pick = picks[i++ % picks.size()];
    const NodePtr& parent =
        kShape == kBushy ? f.nodes[static_cast<std::size_t>(pick)] : f.nodes.front();
    NodePtr added = f.tree->Add(parent, Relationship::kChild, "extra", TextOf(pick + n), "group");
    f.tree->Remove(added->Index());
  }
  state.SetComplexityN(n);
}

// Removing every node but the root, one scattered index at a time (a whole subtree at a time
// in the bushy tree); per_node is the cost per node removed.
template <Shape kShape>
void BM_RemoveAll(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::int64_t removed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Fixture f = Build(kShape, n);
    f.nodes.clear();  // the tree alone keeps its nodes
    state.ResumeTiming();
    std::uint32_t k = 0;
    while (f.tree->Count() > 1) {
      const auto count = static_cast<std::uint32_t>(f.tree->Count());
      f.tree->Remove(static_cast<int>(2 + Mix(++k) % (count - 1)));
    }
    removed += n - 1;
    state.PauseTiming();
    f = Fixture();
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
  state.counters["per_node"] = benchmark::Counter(
      static_cast<double>(removed), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <Shape kShape>
void RegisterShape(const char* shape_name) {
  const auto add = [&](const char* name, void (*run)(benchmark::State&)) {
    return benchmark::RegisterBenchmark(fmt::format("{}/{}", name, shape_name).c_str(), run)
        ->RangeMultiplier(10)
        ->Range(1000, 100000)
        ->Complexity();
  };
  add("Build", &BM_Build<kShape>)->Unit(benchmark::kMillisecond);
  add("ItemByKey", &BM_ItemByKey<kShape>);
  add("ItemByIndex", &BM_ItemByIndex<kShape>);
  add("NodeIndex", &BM_NodeIndex<kShape>);
  add("Count", &BM_Count<kShape>);
  add("Next", &BM_Next<kShape>);
  add("AddAndRemove", &BM_AddAndRemove<kShape>);
  add("RemoveAll", &BM_RemoveAll<kShape>)->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace nimbo

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  nimbo::RegisterShape<nimbo::kFlat>("flat");
  nimbo::RegisterShape<nimbo::kFlatSorted>("flat_sorted");
  nimbo::RegisterShape<nimbo::kBushy>("bushy");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
