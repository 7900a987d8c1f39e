// Record source on PostgreSQL against plain libpq: opening a 1,000,000-row x 5-column record set
// (rows fetched one at a time into the record set) beside stepping the same query through libpq's
// single-row mode alone, reading every value; and the peak memory of each, with libpq's
// whole-result mode (PQexec) for comparison. Needs NIMBO_PG_URI, a database holding the table
// big (bench/table_page_vs_psql.sh makes one on a throwaway server and runs this).
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <libpq-fe.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "in_child_process.h"
#include "nimbo/record_source.h"

namespace {

constexpr char kBigQuery[] = "SELECT id, name, qty, price, sold FROM big";
std::string g_uri;

PGconn* Connect() {
  PGconn* conn = PQconnectdb(g_uri.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    throw std::runtime_error(std::string("connect: ") + PQerrorMessage(conn));
  }
  return conn;
}

// Steps the query row by row through libpq, touching every value.
std::int64_t StepAll(PGconn* conn) {
  if (!PQsendQuery(conn, kBigQuery) || !PQsetSingleRowMode(conn)) {
    throw std::runtime_error(PQerrorMessage(conn));
  }
  std::int64_t checksum = 0;
  while (PGresult* result = PQgetResult(conn)) {
    if (PQresultStatus(result) == PGRES_SINGLE_TUPLE) {
      for (int c = 0; c < 5; ++c) {
        benchmark::DoNotOptimize(PQgetvalue(result, 0, c));
        checksum += PQgetlength(result, 0, c);
      }
    }
    PQclear(result);
  }
  return checksum;
}

std::shared_ptr<nimbo::Recordset> OpenRecordset(const std::shared_ptr<nimbo::Connection>& c) {
  auto recordset = nimbo::CreateRecordset();
  recordset->ActiveConnection(c);
  recordset->CursorLocation(nimbo::kUseClient);
  recordset->Open(kBigQuery);
  recordset->ActiveConnection(nullptr);
  return recordset;
}

std::shared_ptr<nimbo::Connection> OpenConnection() {
  auto connection = nimbo::CreateConnection();
  connection->Open("Data Source=" + g_uri);
  return connection;
}

void BM_BigQuery_LibpqSingleRow(benchmark::State& state) {
  PGconn* conn = Connect();
  for (auto _ : state) benchmark::DoNotOptimize(StepAll(conn));
  PQfinish(conn);
}

void BM_BigQuery_RecordsetOpen(benchmark::State& state) {
  auto connection = OpenConnection();
  for (auto _ : state) benchmark::DoNotOptimize(OpenRecordset(connection)->RecordCount());
}

BENCHMARK(BM_BigQuery_LibpqSingleRow)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BigQuery_RecordsetOpen)->Unit(benchmark::kMillisecond)->MinTime(3);

// Peak resident memory, KiB, that one way of reading adds to a fresh child process.
long AddedPeak(int way) {
  return nimbo::bench::InChildProcess<long>([way] {
    const long before = nimbo::bench::PeakKib();
    if (way == 0) {
      auto connection = OpenConnection();
      auto recordset = OpenRecordset(connection);
      benchmark::DoNotOptimize(recordset->RecordCount());
    } else {
      PGconn* conn = Connect();
      if (way == 1) {
        benchmark::DoNotOptimize(StepAll(conn));
      } else {
        PGresult* result = PQexec(conn, kBigQuery);
        benchmark::DoNotOptimize(PQntuples(result));
        PQclear(result);
      }
      PQfinish(conn);
    }
    return nimbo::bench::PeakKib() - before;
  });
}

}  // namespace

int main(int argc, char** argv) {
  const char* uri = std::getenv("NIMBO_PG_URI");
  if (uri == nullptr || *uri == '\0') {
    fmt::print(stderr, "set NIMBO_PG_URI to a database holding the table big "
                       "(bench/table_page_vs_psql.sh does)\n");
    return 2;
  }
  g_uri = uri;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fmt::print("peak memory added by reading 1,000,000 x 5:\n");
  fmt::print("  record set open (single-row mode into the record set): {:>8} KiB\n", AddedPeak(0));
  fmt::print("  libpq single-row stepping alone:                        {:>8} KiB\n", AddedPeak(1));
  fmt::print("  libpq whole result (PQexec), for comparison:            {:>8} KiB\n", AddedPeak(2));
  return 0;
}
