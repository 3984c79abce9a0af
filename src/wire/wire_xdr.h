// Wire encoding of scalars, strings, wide text, cells, datasets, rowsets and the
// descriptor records. One routine per object encodes, decodes or frees according to
// the stream's direction and answers 1 (success) or 0 (failure). The request and
// reply records (wire/record_xdr.h) are built from these.
//
// Decoding never trusts a size from the wire: counts are checked before anything is
// allocated, sizes are computed in 64 bits, and what one record may make us allocate
// is bounded by VYR_MAX_DECODE_BYTES (see WireDecodeScope).
#pragma once

#include "rpc/xdr.h"
#include "model/colattr.h"
#include "model/reply_records.h"

// Scalars.
int VYRXDR_sgn8(XDR*, sgn8*);
int VYRXDR_uns8(XDR*, uns8*);
int VYRXDR_sgn16(XDR*, sgn16*);
int VYRXDR_dbtype_t(XDR*, dbtype_t*);
int VYRXDR_indicator_t(XDR*, indicator_t*);
int VYRXDR_uns16(XDR*, uns16*);
int VYRXDR_scale_t(XDR*, scale_t*);
int VYRXDR_sgn32(XDR*, sgn32*);
int VYRXDR_colAttribKey_t(XDR*, colAttribKey_t*);
int VYRXDR_uns32(XDR*, uns32*);
int VYRXDR_precision_t(XDR*, precision_t*);
int VYRXDR_bookmark_t(XDR*, bookmark_t*);
int VYRXDR_handle_t(XDR*, handle_t*);
int VYRXDR_flt32(XDR*, flt32*);
int VYRXDR_flt64(XDR*, flt64*);
int VYRXDR_errcode_t(XDR*, errcode_t*);
int VYRXDR_ctype_t(XDR*, ctype_t*);
int VYRXDR_sqltype_t(XDR*, sqltype_t*);
int VYRXDR_nullable_t(XDR*, nullable_t*);
int VYRXDR_savePntCmd_t(XDR*, savePntCmd_t*);
int VYRXDR_attrType_t(XDR*, attrType_t*);

// Strings: String (length + 1, 0 for null), and fields that never travel.
int VYRXDR_String(XDR*, String*);
int VYRXDR_localString(XDR*, localString*);
int xdr_localBool(XDR*, localBool*);

// Wide text as UTF-8: exactly size 32-bit characters.
int VYRXDR_c_wchr(XDR*, wchar_t* wstr, unsigned int size);
// Count unit (at most maxsize), then UTF-8; decoding allocates count + 1 characters.
int VYRXDR_c_wvchr(XDR*, wchar_t** wstr, unsigned int maxsize);

// Cells.
int VYRXDR_c_lchr(XDR*, c_lchr*);
int VYRXDR_c_lbin(XDR*, c_lbin*);
int VYRXDR_c_wlchr(XDR*, c_wlchr*);
int VYRXDR_c_date(XDR*, c_date*);
int VYRXDR_c_time(XDR*, c_time*);
int VYRXDR_c_timestamp(XDR*, c_timestamp*);
// Variable cells live inside a cell of `width` bytes; no length may pass it.
int VYRXDR_c_vchr8(XDR*, c_vchr8*, precision_t width);
int VYRXDR_c_vchr16(XDR*, c_vchr16*, precision_t width);
int VYRXDR_c_vchr32(XDR*, c_vchr32*, precision_t width);
int VYRXDR_c_vbin8(XDR*, c_vbin8*, precision_t width);
int VYRXDR_c_vbin16(XDR*, c_vbin16*, precision_t width);
int VYRXDR_c_vbin32(XDR*, c_vbin32*, precision_t width);
int VYRXDR_c_wvchr32(XDR*, c_wvchr32*, precision_t width);

// Composites.
int VYRXDR_Dataset(XDR*, Dataset*);
int VYRXDR_Coldata(XDR*, Coldata*, sgn32 nRows);
int VYRXDR_RowSet(XDR*, RowSet*);
int VYRXDR_Coldesc(XDR*, Coldesc*);
int VYRXDR_Bindesc(XDR*, Bindesc*);
int xdr_BindescX(XDR*, BindescX*);
int VYRXDR_ErrInfo(XDR*, ErrInfo*);
int VYRXDR_ColAttrib(XDR*, ColAttrib*);
int VYRXDR_colattrib(XDR*, colattrib*);
int VYRXDR_paramval(XDR*, paramval*);
int VYRXDR_OpTable(XDR*, OpTable*);
int VYRXDR_ParameterConversion(XDR*, ParameterConversion*);
// Decoding refuses lengths that are negative or add up to more than 128.
int xdr_XID_t(XDR*, XID_t*);

// Allocation budget of one decoded record. Every record routine opens a scope; the
// outermost one starts a budget of VYR_MAX_DECODE_BYTES for what the decode may
// allocate ahead of its data (dataset columns, long cells, strings), per thread.
class WireDecodeScope {
 public:
  explicit WireDecodeScope(XDR* xdrs);
  ~WireDecodeScope();
  WireDecodeScope(const WireDecodeScope&) = delete;
  WireDecodeScope& operator=(const WireDecodeScope&) = delete;

 private:
  bool active_;
};

// Lowers the budget of every later record (tests and fuzzing); never above the constant.
void wire_set_decode_limit(uint64_t bytes);

// Takes bytes from the current budget; false (nothing taken) when they do not fit.
bool wire_decode_charge(uint64_t bytes);

// Gives back what was charged for room that turned out not to be needed.
void wire_decode_refund(uint64_t bytes);

// Element routine of a decoded array that charges each element's in-memory size to
// the record's budget before decoding it, so arrays count towards the same total.
template <typename T>
struct WireElementOf;
template <typename T>
struct WireElementOf<int (*)(XDR*, T*)> {
  using type = T;
};
template <auto F>
int wire_charged(XDR* x, typename WireElementOf<decltype(F)>::type* p) {
  if (x->x_op == XDR_DECODE && !wire_decode_charge(sizeof *p)) return 0;
  return F(x, p);
}
