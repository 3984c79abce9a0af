// Arguments that decode but that no operation may be given.
#include <algorithm>

#include "model/drv_param_codes.h"
#include "wire/dispatcher.h"

namespace {
bool valid_columns(const uns16* cols, unsigned n) {
  for (unsigned i = 0; i < n; ++i)
    if (cols[i] == 0) return false;  // column numbers are 1-based
  return true;
}

}  // namespace

errcode_t dbsv_check_args(unsigned int proc, const void* argp) {
  switch (proc) {
    case DBSV_PROC_setdrvparameter: {
      auto* a = static_cast<const call_setdrvparameter*>(argp);
      unsigned kind = DrvParamKind(a->opcode);
      // The server reports a missing key file name itself.
      if (a->opcode == DRVP_SRV_TLS_KEY_FILE) return ER_SUCCESS;
      if (kind == DRVP_KIND_TEXT && (a->value.type != 1 || !a->value.paramval_u.s))
        return ER_INVALID_ARGUMENT;
      if (kind == DRVP_KIND_INT && a->value.type != 2) return ER_INVALID_ARGUMENT;
      return ER_SUCCESS;
    }
    case DBSV_PROC_connect:
      return static_cast<const call_connect*>(argp)->arg ? ER_SUCCESS : ER_INVALID_ARGUMENT;
    case DBSV_PROC_columnprivileges:
    case DBSV_PROC_columns:
    case DBSV_PROC_foreignkeys:
    case DBSV_PROC_primarykeys:
    case DBSV_PROC_procedurecolumns:
    case DBSV_PROC_procedures:
    case DBSV_PROC_specialcolumns:
    case DBSV_PROC_statistics:
    case DBSV_PROC_tableprivileges:
    case DBSV_PROC_tables:
      // Every catalog record is the handle and a pointer to the catalog arguments.
      return static_cast<const call_columns*>(argp)->arg ? ER_SUCCESS : ER_INVALID_ARGUMENT;
    case DBSV_PROC_xacommit:
    case DBSV_PROC_xaend:
    case DBSV_PROC_xaforget:
    case DBSV_PROC_xaprepare:
    case DBSV_PROC_xarollback:
    case DBSV_PROC_xastart: {
      auto* a = static_cast<const call_xa*>(argp);
      return a->xId && XID_t_Valid(a->xId) ? ER_SUCCESS : ER_INVALID_ARGUMENT;
    }
    case DBSV_PROC_setpos: {
      auto* a = static_cast<const call_setpos*>(argp);
      unsigned n = a->rgiCol.rgiCol_len;
      if (!valid_columns(a->rgiCol.rgiCol_val, n)) return ER_INVALID_ARGUMENT;
      // Dataset column j carries cursor column rgiCol[j].
      if (a->pDS && n > a->pDS->nCols) return ER_INVALID_ARGUMENT;
      return ER_SUCCESS;
    }
    case DBSV_PROC_bulkoperations: {
      auto* a = static_cast<const call_bulkoperations*>(argp);
      unsigned n = a->rgiCol.rgiCol_len;
      if (a->cRows > a->rBookMarks.rBookMarks_len || a->cCols > n) return ER_INVALID_ARGUMENT;
      if (!valid_columns(a->rgiCol.rgiCol_val, n)) return ER_INVALID_ARGUMENT;
      if (a->pDS && a->pDS->nCols > 0) {
        if (n > a->pDS->nCols || a->cRows > uns32(std::max(a->pDS->nRows, 0))) return ER_INVALID_ARGUMENT;
      }
      return ER_SUCCESS;
    }
    default:
      return ER_SUCCESS;
  }
}
