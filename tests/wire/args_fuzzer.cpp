// Fuzzes the argument decoders of every procedure (and, above them, the result
// decoders that the wire client runs on an agent's replies): the first byte picks the
// record, the rest is its bytes. Each decode, successful or not, is followed by the
// free pass, as the dispatcher does.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "rpc/xdr_call.h"
#include "wire/dispatcher.h"
#include "wire/record_xdr.h"

namespace {
struct Proc {
  xdrproc_t routine;
  size_t size;
};
constexpr unsigned kResults = DBSV_MAXPROC + 2;  // result record of procedure n at kResults + n
#define FUZZ_ITEM(n, name, A, R, xa, xr)                   \
  v[n] = Proc{reinterpret_cast<xdrproc_t>(xa), sizeof(A)}; \
  v[kResults + n] = Proc{reinterpret_cast<xdrproc_t>(xr), sizeof(R)};
std::vector<Proc> table() {
  std::vector<Proc> v(2 * kResults, Proc{nullptr, 0});
  DBSV_PROCEDURES(FUZZ_ITEM)
  v[DBSV_MAXPROC + 1] = Proc{reinterpret_cast<xdrproc_t>(VYRXDR_Dataset), sizeof(Dataset)};
  return v;
}
#undef FUZZ_ITEM
}  // namespace

VYRRPC_CALLS_FILTERS
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<Proc> procs = table();
  // A smaller budget keeps each run fast; the refusals are the same.
  static const bool limited = (wire_set_decode_limit(1 << 20), true);
  (void)limited;
  if (size < 1) return 0;
  const Proc& p = procs[data[0] % procs.size()];
  if (!p.routine) return 0;
  std::vector<char> in(data + 1, data + size);
  in.push_back(0);
  std::vector<char> obj(p.size, 0);
  XDR x;
  VYRRPC_xdrmem_create(&x, in.data(), unsigned(size - 1), XDR_DECODE);
  unsigned index = data[0] % procs.size();
  if (p.routine(&x, obj.data()) && index <= DBSV_MAXPROC) (void)dbsv_check_args(index, obj.data());
  VYRRPC_xdr_free(p.routine, obj.data());
  return 0;
}
