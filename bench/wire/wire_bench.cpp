// Encode and decode throughput of datasets on the wire, against memcpy of the same
// bytes: a 10,000-row dataset of (integer, 20-character text, double) with NULLs,
// and a single 1 MiB long cell.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_smoke.h"
#include "rpc/record_stream.h"
#include "model/dataset.h"
#include "wire/wire_xdr.h"

namespace {

const int kRows = bench_smoke::Pick(10000, 500);

Dataset make_rows() {
  Dataset ds{};
  Dataset_Init(&ds, 3);
  ds.nCols = 3;
  ds.col[0] = {CTYPE_SGN32, 4, nullptr, nullptr};
  ds.col[1] = {CTYPE_VCHR, 21, nullptr, nullptr};
  ds.col[2] = {CTYPE_FLT64, 8, nullptr, nullptr};
  Dataset_AllocColumns(&ds, kRows);
  for (int r = 0; r < kRows; ++r) {
    std::memcpy(Coldata_Cell(&ds.col[0], r), &r, 4);
    std::snprintf(Coldata_Cell(&ds.col[1], r), 21, "name-%015d", r);
    double d = r * 1.25;
    std::memcpy(Coldata_Cell(&ds.col[2], r), &d, 8);
    for (int c = 0; c < 3; ++c) ds.col[c].indicators[r] = (r + c) % 10 == 0 ? -1 : 0;  // one in ten NULL
  }
  ds.nRows = kRows;
  return ds;
}

// The same rows without the text column: no cell needs a buffer of its own.
Dataset make_fixed() {
  Dataset ds = make_rows();
  Coldata_Done(&ds.col[1], ds.allocRows);
  ds.col[1] = ds.col[2];
  ds.col[2] = Coldata{};
  ds.nCols = 2;
  return ds;
}

Dataset make_col(int keep) {
  Dataset ds = make_rows();
  for (int c = 0; c < 3; ++c)
    if (c != keep) Coldata_Done(&ds.col[c], ds.allocRows);
  ds.col[0] = ds.col[keep];
  if (keep != 0) ds.col[keep] = Coldata{};
  ds.nCols = 1;
  return ds;
}
Dataset make_int() { return make_col(0); }
Dataset make_text() { return make_col(1); }
Dataset make_dbl() { return make_col(2); }

Dataset make_long() {
  Dataset ds{};
  Dataset_Init(&ds, 1);
  ds.nCols = 1;
  ds.col[0] = {CTYPE_LBIN, 16, nullptr, nullptr};
  Dataset_AllocColumns(&ds, 1);
  uns32 len = 1 << 20;
  unsigned char* data = static_cast<unsigned char*>(std::malloc(len));
  for (uns32 i = 0; i < len; ++i) data[i] = static_cast<unsigned char>(i * 7);
  std::memcpy(Coldata_Cell(&ds.col[0], 0), &len, 4);
  std::memcpy(Coldata_Cell(&ds.col[0], 0) + 8, &data, sizeof data);
  ds.col[0].indicators[0] = 0;
  ds.nRows = 1;
  return ds;
}

std::vector<char> encoded(Dataset* ds) {
  std::vector<char> buf(8 << 20);
  XDR x;
  VYRRPC_xdrmem_create(&x, buf.data(), unsigned(buf.size()), XDR_ENCODE);
  if (!VYRXDR_Dataset(&x, ds)) std::abort();
  buf.resize(VYRRPC_xdr_getpos(&x));
  return buf;
}

void Encode(benchmark::State& state, Dataset (*make)(), int rows) {
  Dataset ds = make();
  std::vector<char> buf(8 << 20);
  size_t bytes = encoded(&ds).size();
  for (auto _ : state) {
    XDR x;
    VYRRPC_xdrmem_create(&x, buf.data(), unsigned(buf.size()), XDR_ENCODE);
    if (!VYRXDR_Dataset(&x, &ds)) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.SetItemsProcessed(int64_t(state.iterations()) * rows);
  Dataset_Done(&ds);
}

void Decode(benchmark::State& state, Dataset (*make)(), int rows) {
  Dataset src = make();
  std::vector<char> buf = encoded(&src);
  Dataset_Done(&src);
  for (auto _ : state) {
    Dataset ds{};
    XDR x;
    VYRRPC_xdrmem_create(&x, buf.data(), unsigned(buf.size()), XDR_DECODE);
    if (!VYRXDR_Dataset(&x, &ds)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(ds.col);
    Dataset_Done(&ds);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buf.size()));
  state.SetItemsProcessed(int64_t(state.iterations()) * rows);
}

// The same decoding as a request or reply arriving over TCP: through a record
// stream, fed from memory in the fragments a peer would send.
struct Feed {
  std::vector<char> bytes;
  size_t at = 0;
};

int feed_write(char* h, char* p, unsigned n) {
  auto* f = reinterpret_cast<Feed*>(h);
  f->bytes.insert(f->bytes.end(), p, p + n);
  return n;
}

int feed_read(char* h, char* p, unsigned n) {
  auto* f = reinterpret_cast<Feed*>(h);
  size_t k = std::min(size_t(n), f->bytes.size() - f->at);
  std::memcpy(p, f->bytes.data() + f->at, k);
  f->at += k;
  return k == 0 ? -1 : int(k);
}

void DecodeRecord(benchmark::State& state, Dataset (*make)(), int rows) {
  Dataset src = make();
  Feed feed;
  {
    XDR x;
    VYRRPC_xdrrec_create(&x, 0, 0, reinterpret_cast<char*>(&feed), feed_read, feed_write);
    x.x_op = XDR_ENCODE;
    if (!VYRXDR_Dataset(&x, &src) || !VYRRPC_xdrrec_endofrecord(&x, 1)) std::abort();
    VYRRPC_xdr_destroy(&x);
  }
  size_t bytes = encoded(&src).size();
  Dataset_Done(&src);
  for (auto _ : state) {
    feed.at = 0;
    XDR x;
    VYRRPC_xdrrec_create(&x, 0, 0, reinterpret_cast<char*>(&feed), feed_read, feed_write);
    x.x_op = XDR_DECODE;
    VYRRPC_xdrrec_skiprecord(&x);
    Dataset ds{};
    if (!VYRXDR_Dataset(&x, &ds)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(ds.col);
    Dataset_Done(&ds);
    VYRRPC_xdr_destroy(&x);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.SetItemsProcessed(int64_t(state.iterations()) * rows);
}

// The yardstick: copying the same encoded bytes.
void Memcpy(benchmark::State& state, Dataset (*make)(), int rows) {
  Dataset src = make();
  std::vector<char> buf = encoded(&src);
  Dataset_Done(&src);
  std::vector<char> dst(buf.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), buf.data(), buf.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buf.size()));
  state.SetItemsProcessed(int64_t(state.iterations()) * rows);
}

BENCHMARK_CAPTURE(Encode, rows10000, make_rows, kRows);
BENCHMARK_CAPTURE(Decode, rows10000, make_rows, kRows);
BENCHMARK_CAPTURE(Memcpy, rows10000, make_rows, kRows);
BENCHMARK_CAPTURE(DecodeRecord, rows10000, make_rows, kRows);
BENCHMARK_CAPTURE(Encode, fixed10000, make_fixed, kRows);
BENCHMARK_CAPTURE(Decode, fixed10000, make_fixed, kRows);
BENCHMARK_CAPTURE(Memcpy, fixed10000, make_fixed, kRows);
BENCHMARK_CAPTURE(Decode, int10000, make_int, kRows);
BENCHMARK_CAPTURE(Decode, text10000, make_text, kRows);
BENCHMARK_CAPTURE(Decode, dbl10000, make_dbl, kRows);
BENCHMARK_CAPTURE(Encode, long1MiB, make_long, 1);
BENCHMARK_CAPTURE(Decode, long1MiB, make_long, 1);
BENCHMARK_CAPTURE(Memcpy, long1MiB, make_long, 1);

}  // namespace

BENCHMARK_MAIN();
