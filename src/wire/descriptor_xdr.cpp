// Wire encoding of the descriptor records and the small records: column and bind
// descriptions, error texts, column attributes, parameter values, operation
// tables and XA identifiers.
#include <climits>
#include <cstring>

#include "rpc/xdr_call.h"
#include "wire/wire_xdr.h"

int VYRXDR_Coldesc(XDR* x, Coldesc* d) {
  WireDecodeScope scope(x);
  if (x->x_op != XDR_FREE) {
    // The label lives in the record: a plain string of at most 40 characters.
    uint32_t len = x->x_op == XDR_ENCODE ? uint32_t(strnlen(d->label, 40)) : 0;
    if (!VYRRPC_xdr_u_int(x, &len)) return FALSE;
    if (len > 40) return FALSE;
    if (len > 0 && !VYRRPC_xdr_opaque(x, d->label, len)) return FALSE;
    if (x->x_op == XDR_DECODE) d->label[len] = 0;
  }
  return VYRXDR_String(x, &d->qualifierName) && VYRXDR_String(x, &d->ownerName) &&
         VYRXDR_String(x, &d->tableName) && VYRXDR_String(x, &d->columnName) &&
         VYRXDR_dbtype_t(x, &d->dbType) && VYRXDR_sqltype_t(x, &d->sqlType) &&
         VYRXDR_nullable_t(x, &d->nullable) && VYRXDR_precision_t(x, &d->precision) &&
         VYRXDR_scale_t(x, &d->scale) && VYRXDR_precision_t(x, &d->display) &&
         VYRXDR_ctype_t(x, &d->fetchType) && VYRXDR_precision_t(x, &d->fetchLength);
}

int VYRXDR_Bindesc(XDR* x, Bindesc* b) {
  return VYRXDR_sqltype_t(x, &b->sqlType) && VYRXDR_ctype_t(x, &b->cType) &&
         VYRXDR_precision_t(x, &b->precision) && VYRXDR_scale_t(x, &b->scale) && VYRXDR_sgn16(x, &b->usage);
}

int xdr_BindescX(XDR* x, BindescX* b) {
  WireDecodeScope scope(x);
  return VYRXDR_sqltype_t(x, &b->sqlType) && VYRXDR_ctype_t(x, &b->cType) &&
         VYRXDR_precision_t(x, &b->precision) && VYRXDR_scale_t(x, &b->scale) && VYRXDR_sgn16(x, &b->usage) &&
         VYRXDR_String(x, &b->name);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_ErrInfo(XDR* x, ErrInfo* e) {
  WireDecodeScope scope(x);
  return VYRXDR_sgn32(x, &e->nativeError) &&
         VYRRPC_xdr_array(x, reinterpret_cast<char**>(&e->messages), &e->messageCount, ERRINFO_MAX_MESSAGES,
                          sizeof(String), reinterpret_cast<xdrproc_t>(wire_charged<VYRXDR_String>));
}

namespace {
int xdr_attr_value(XDR* x, sgn16 type, colattrib* v) {
  switch (type) {
    case ATTR_STRING:
      return VYRXDR_String(x, &v->u.s);
    case ATTR_SGN32:
      return VYRXDR_sgn32(x, &v->u.l);
    case ATTR_UNS32:
      return VYRXDR_uns32(x, &v->u.lu);
    case ATTR_FLT64:
      return VYRXDR_flt64(x, &v->u.f);
    default:
      return x->x_op == XDR_FREE;  // nothing to free in an unknown arm
  }
}
}  // namespace

int VYRXDR_colattrib(XDR* x, colattrib* v) {
  WireDecodeScope scope(x);
  return VYRXDR_sgn16(x, &v->attribType) && xdr_attr_value(x, v->attribType, v);
}

int VYRXDR_ColAttrib(XDR* x, ColAttrib* a) {
  WireDecodeScope scope(x);
  return VYRXDR_uns16(x, &a->col) && VYRXDR_sgn16(x, &a->attribId) && VYRXDR_colattrib(x, &a->attribVal);
}

int VYRXDR_paramval(XDR* x, paramval* p) {
  WireDecodeScope scope(x);
  if (!VYRXDR_sgn16(x, &p->type)) return FALSE;
  switch (p->type) {
    case 0:
      return TRUE;
    case 1:
      return VYRXDR_String(x, &p->paramval_u.s);
    case 2:
      return VYRXDR_sgn32(x, &p->paramval_u.l);
    default:
      return x->x_op == XDR_FREE;
  }
}

int VYRXDR_ParameterConversion(XDR* x, ParameterConversion* p) {
  return VYRXDR_ctype_t(x, &p->cType) && VYRXDR_uns32(x, &p->maxPrecision) &&
         VYRXDR_uns32(x, &p->conversionMask);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_OpTable(XDR* x, OpTable* t) {
  WireDecodeScope scope(x);
  if (!VYRXDR_uns16(x, &t->type)) return FALSE;
  if (x->x_op != XDR_FREE && t->type != 1) return FALSE;
  return VYRRPC_xdr_array(x, reinterpret_cast<char**>(&t->values), &t->numElem, UINT_MAX,
                          sizeof(ParameterConversion),
                          reinterpret_cast<xdrproc_t>(wire_charged<VYRXDR_ParameterConversion>));
}

int xdr_XID_t(XDR* x, XID_t* id) {
  if (x->x_op == XDR_FREE) return TRUE;
  long* fields[3] = {&id->formatID, &id->gtrid_length, &id->bqual_length};
  for (long* f : fields) {
    int v = int(*f);
    if (!VYRRPC_xdr_int(x, &v)) return FALSE;
    if (x->x_op == XDR_DECODE) {
      // Only the low 32 bits are written.
      unsigned long keep = static_cast<unsigned long>(*f) & ~0xFFFFFFFFul;
      *f = static_cast<long>(keep | static_cast<uint32_t>(v));
    }
  }
  for (char& c : id->data)
    if (!VYRRPC_xdr_char(x, &c)) return FALSE;
  if (x->x_op == XDR_DECODE && !XID_t_Valid(id)) return FALSE;
  return TRUE;
}
