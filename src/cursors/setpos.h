// Positioned operations of the cursor engine: position on a row of the
// rowset, update or delete one row or the whole rowset, or add rows, with
// UPDATE / DELETE / INSERT statements built on the statement's table and its
// keys and run on the first auxiliary cursor. An operation whose new values
// come as data at execution is finished later by scs_p_SetPosComplete.
#pragma once

#include <string>
#include <vector>

#include "backend/sccl.h"
#include "drv_ops.h"

typedef unsigned short UWORD;

// Options of a positioned operation.
enum : uns16 {
  SCS_SETPOS_POSITION = 0,
  SCS_SETPOS_REFRESH = 1,
  SCS_SETPOS_UPDATE = 2,
  SCS_SETPOS_DELETE = 3,
  SCS_SETPOS_ADD = 4,
};

// irow of an operation on every row of the rowset (else the 1-based row).
enum : sgn32 { SCS_SETPOS_ALL_ROWS = -2 };
// Indicator of a row's first cell in the operation's data: the row is passed over.
enum : indicator_t { SCS_SETPOS_SKIP_ROW = -4 };

// The setPos slot. pDS and rgiCol are the operation's from the call on (kept
// in the cursor state while data at execution is due, freed when it ends);
// cUpdtCols is rgiCol's length, which must cover the dataset's columns.
errcode_t SCs_SetPos(handle_t hCursor, sgn32 irow, uns16 fOption, uns16 fLock, uns16** prgfRowStatus,
                     uns32* pcRows, Dataset* pDS, uns16* rgiCol, uns16 cUpdtCols);
// Runs the operation stored in the state after its data at execution came.
errcode_t scs_p_SetPosComplete(PSCCL psccl, uns16** prgfRowStatus, unsigned int* pcRows);
// The dispatcher by option and the operations. They borrow pDS and rgiCol:
// the entry (or the completion) frees them.
errcode_t scs_p_SetPos(PSCCL psccl, sgn32 irow, UWORD fOption, UWORD** prgfRowStatus, unsigned int* pcRows,
                       Dataset* pDS, uns16* rgiCol);
errcode_t scs_p_SetPos_Update(PSCCL psccl, sgn32 irow, UWORD** prgfRowStatus, unsigned int* pcRows,
                              Dataset* pDS, uns16* rgiCol);
errcode_t scs_p_SetPos_Delete(PSCCL psccl, sgn32 irow, UWORD** prgfRowStatus, unsigned int* pcRows,
                              Dataset* pDS);
errcode_t scs_p_SetPos_Add(PSCCL psccl, sgn32 irow, UWORD** prgfRowStatus, unsigned int* pcRows, Dataset* pDS,
                           uns16* rgiCol);
// Reads again the old values of the listed slice rows of a dynamic cursor.
errcode_t scs_p_OptConcColVals_Dyn_Refresh(PSCCL psccl, uns32* rgiRow, uns32 cRows);
// Frees the data of a stored operation (a new call replaces one still waiting).
void scs_p_SetPosRelease(PSCCL psccl);
// The keyed statements of the positioned and the bulk operations:
// the target, "owner." and the name of the statement's first table;
// " WHERE " and each key column's name with " = ?", joined by " AND ";
// the columns that optimistic concurrency by values compares;
// one row's run on hSCCurs (parameters taken over, bind, execute), rows
// processed into *pn.
errcode_t scs_p_DmlTarget(PSCCL psccl, std::string* out);
errcode_t scs_p_DmlKeyWhere(PSCCL psccl, std::string* sql);
alist_t* scs_p_OptConcCols(PSCCL psccl);
errcode_t scs_p_DmlRowRun(PSCCL psccl, Dataset* params, sgn32* pn);
// The quoted labels and descriptions of the cursor's columns rgiCol[0..nCols)
// (1-based, strictly ascending); ER_INVALID_COLUMN for any other list.
errcode_t scs_p_NewValueColumns(PSCCL psccl, const uns16* rgiCol, uns16 nCols,
                                std::vector<std::string>* names, std::vector<const Coldesc*>* descs);
// A column description's type, precision and scale as a bind description's source.
SCColDesc scs_p_DescOf(const Coldesc* pDesc);
// Installs the setPos slot in the engine's table (filter.cpp).
void scs_SetPosOpsInstall(drv_ops* ops);
