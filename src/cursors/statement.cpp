// Statement operations of the cursor engine (statement.h). Until they are
// built they pass every call to the backend.
#include "cursors/statement.h"

#include "cursors/cursors.h"

namespace {
drv_ops& Inner() { return *SCs_InnerDRV()->ops; }
}  // namespace

errcode_t SCs_Prepare(handle_t h, char* r) { return Inner().prepare(h, r); }
errcode_t SCs_Execute(handle_t h) { return Inner().execute(h); }
errcode_t SCs_Execute2(handle_t h, char* r, Dataset* p, uns16 n, Bindesc* d) {
  return Inner().execute2(h, r, p, n, d);
}
errcode_t SCs_Execute2X(handle_t h, char* r, Dataset* p, uns16 n, BindescX* d) {
  return Inner().execute2X(h, r, p, n, d);
}
errcode_t SCs_BindX(handle_t h, uns16 n, BindescX* d) { return Inner().bindX(h, n, d); }
errcode_t SCs_MoreResults(handle_t h) { return Inner().moreResults(h); }
errcode_t SCs_PrepareJ(handle_t hc, char* r, sgn32 conc, sgn32 type, handle_t* ph) {
  return Inner().prepareJ(hc, r, conc, type, ph);
}
errcode_t SCs_ExecuteJ(handle_t h, char* r, Dataset* p, uns16 n, Bindesc* d, sgn32* rs, uns16* nc,
                       Coldesc** cd, uns16* np, Coldesc** pd, sgn32* rp) {
  return Inner().executeJ(h, r, p, n, d, rs, nc, cd, np, pd, rp);
}
errcode_t SCs_ExecuteJ2(handle_t h, char* r, Dataset* p, uns16 n, Bindesc* d, sgn32* rs, uns16* nc,
                        Coldesc** cd, uns16* np, Coldesc** pd, uns16* na, ColAttrib** pa, sgn32* rp) {
  return Inner().executeJ2(h, r, p, n, d, rs, nc, cd, np, pd, na, pa, rp);
}
errcode_t SCs_FetchProcJ(handle_t h, uns16* nc, Coldesc** pd, Dataset* b) {
  return Inner().fetchprocJ(h, nc, pd, b);
}
errcode_t SCs_ExtendedFetch2J(handle_t h, PRSET* pp, sgn32 irow, uns32* pc, sgn32* prs, sgn32 ft) {
  return Inner().xFetch2J(h, pp, irow, pc, prs, ft);
}
errcode_t SCs_GetDataJ(handle_t h, sgn32 c, sgn32 r, precision_t w, char** pb, precision_t* pr, ctype_t* pt,
                       sgn32* prem) {
  return Inner().getDataJ(h, c, r, w, pb, pr, pt, prem);
}
errcode_t SCs_ExecuteBatchJ(handle_t h, uns16 n, Batch* c, uns16* nr, sgn32** r) {
  return Inner().executeBatchJ(h, n, c, nr, r);
}
errcode_t SCs_DDColumnPrivileges(handle_t h, DDColumnPrivileges* a) {
  return Inner().ddColumnPrivileges(h, a);
}
errcode_t SCs_DDColumns(handle_t h, DDColumns* a) { return Inner().ddColumns(h, a); }
errcode_t SCs_DDForeignKeys(handle_t h, DDForeignKeys* a) { return Inner().ddForeignKeys(h, a); }
errcode_t SCs_DDPrimaryKeys(handle_t h, DDPrimaryKeys* a) { return Inner().ddPrimaryKeys(h, a); }
errcode_t SCs_DDProcedureColumns(handle_t h, DDProcedureColumns* a) {
  return Inner().ddProcedureColumns(h, a);
}
errcode_t SCs_DDProcedures(handle_t h, DDProcedures* a) { return Inner().ddProcedures(h, a); }
errcode_t SCs_DDSpecialColumns(handle_t h, DDSpecialColumns* a) { return Inner().ddSpecialColumns(h, a); }
errcode_t SCs_DDStatistics(handle_t h, DDStatistics* a) { return Inner().ddStatistics(h, a); }
errcode_t SCs_DDTablePrivileges(handle_t h, DDTablePrivileges* a) { return Inner().ddTablePrivileges(h, a); }
errcode_t SCs_DDTables(handle_t h, DDTables* a) { return Inner().ddTables(h, a); }
errcode_t SCs_DDTypeInfo(handle_t h, sgn16 t) { return Inner().ddTypeInfo(h, t); }

void scs_StatementOpsInstall(drv_ops*) {}
