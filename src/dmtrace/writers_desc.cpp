// Trace writers of the descriptor calls.

#include "dmtrace/writer_util.h"
#include "dmtrace/writers.h"

namespace {

void get_field_writer(int id, int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, SQLSMALLINT field,
                      SQLPOINTER value, SQLINTEGER buf_len, SQLINTEGER* str_len) {
  auto f = _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(4, desc);
  _zolandm_tr_arg_smallint(recno);
  _zolandm_tr_name_desc_field(field);
  _zolandm_tr_arg_pointer(value);
  _zolandm_tr_arg_attr_length(buf_len);
  _zolandm_tr_arg_integer_ptr(str_len, f.success);
}

void set_field_writer(int id, int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, SQLSMALLINT field,
                      SQLPOINTER value, SQLINTEGER buf_len) {
  _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(4, desc);
  _zolandm_tr_arg_smallint(recno);
  _zolandm_tr_name_desc_field(field);
  _zolandm_tr_arg_pointer(value);
  _zolandm_tr_arg_attr_length(buf_len);
}

template <typename C>
void get_rec_writer(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, C* name, SQLSMALLINT name_max,
                    SQLSMALLINT* name_len, SQLSMALLINT* type, SQLSMALLINT* subtype, SQLLEN* length,
                    SQLSMALLINT* precision, SQLSMALLINT* scale, SQLSMALLINT* nullable) {
  auto f =
      _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLGetDescRec, ZOLANDM_FN_SQLGetDescRecW), leaving, rc);
  _zolandm_tr_arg_handle(4, desc);
  _zolandm_tr_arg_smallint(recno);
  _zolandm_tr_out_text(name, name_max, name_len, f.success);
  _zolandm_tr_arg_sql_type_ptr(type, f.success);
  _zolandm_tr_arg_interval_code_ptr(type, subtype, f.success);
  _zolandm_tr_arg_len_ptr(length, f.success);
  _zolandm_tr_arg_smallint_ptr(precision, f.success);
  _zolandm_tr_arg_smallint_ptr(scale, f.success);
  _zolandm_tr_arg_nullable_ptr(nullable, f.success);
}

}  // namespace

void trace_SQLCopyDesc(int leaving, int rc, SQLHDESC source, SQLHDESC target) {
  _zolandm_tr_begin(ZOLANDM_FN_SQLCopyDesc, leaving, rc);
  _zolandm_tr_arg_handle(4, source);
  _zolandm_tr_arg_handle(4, target);
}

void trace_SQLSetDescRec(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, SQLSMALLINT type,
                         SQLSMALLINT subtype, SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale,
                         SQLPOINTER data, SQLLEN* str_len, SQLLEN* ind) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLSetDescRec, leaving, rc);
  _zolandm_tr_arg_handle(4, desc);
  _zolandm_tr_arg_smallint(recno);
  _zolandm_tr_arg_smallint(type);
  _zolandm_tr_arg_smallint(subtype);
  _zolandm_tr_arg_len(length);
  _zolandm_tr_arg_smallint(precision);
  _zolandm_tr_arg_smallint(scale);
  _zolandm_tr_arg_pointer(data);
  _zolandm_tr_arg_len_ptr(str_len, f.success);
  _zolandm_tr_arg_len_ptr(ind, f.success);
}

#define ZOLANDM_TR_DEFINE_DESC(C, W)                                                                      \
  void trace_SQLGetDescField##W(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, SQLSMALLINT field, \
                                SQLPOINTER value, SQLINTEGER buf_len, SQLINTEGER* str_len) {              \
    get_field_writer(ZOLANDM_FN_SQLGetDescField##W, leaving, rc, desc, recno, field, value, buf_len,      \
                     str_len);                                                                            \
  }                                                                                                       \
  void trace_SQLSetDescField##W(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, SQLSMALLINT field, \
                                SQLPOINTER value, SQLINTEGER buf_len) {                                   \
    set_field_writer(ZOLANDM_FN_SQLSetDescField##W, leaving, rc, desc, recno, field, value, buf_len);     \
  }                                                                                                       \
  void trace_SQLGetDescRec##W(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, C* name,             \
                              SQLSMALLINT name_max, SQLSMALLINT* name_len, SQLSMALLINT* type,             \
                              SQLSMALLINT* subtype, SQLLEN* length, SQLSMALLINT* precision,               \
                              SQLSMALLINT* scale, SQLSMALLINT* nullable) {                                \
    get_rec_writer(leaving, rc, desc, recno, name, name_max, name_len, type, subtype, length, precision,  \
                   scale, nullable);                                                                      \
  }
ZOLANDM_TR_WIDTHS(ZOLANDM_TR_DEFINE_DESC)
