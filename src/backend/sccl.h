// The cursor engine's per-cursor state, embedded in every backend cursor record.
// The backend writes the client's cursor options here (driver parameters) and
// reads the long-data and multiple-statement switches. The engine owns the
// record; until it is built in front of the backend only these fields exist.
#pragma once

#include "model/dataset.h"
#include "model/types.h"

struct SSCCL {
  sgn32 RSSize;
  sgn32 KSSize;
  sgn32 RsltSetSize;
  sgn32 CursType;
  sgn32 CursTypeOrig;
  sgn32 ConcType;
  sgn32 ConcTypeOrig;
  sgn32 SimulatCurs;
  sgn32 bUseBookMarks;
  sgn32 bRetrieveData;
  handle_t hConnect;
  handle_t hCursor;
  sgn32 fOptConcValExtent;
  uns16 f_state;
  uns16 f_stateAux2;
  int bParsFwdOnlyReq;
  int bSelectAppendKeys;
  int bDeferLongData;
  int bMultipleActiveStmtsEmul;
  // The positioned operation in progress, kept for its completion after data
  // at execution: its option (2 update, 4 add) and its column data.
  uns16 fOption;
  Dataset* pdsSetPosParam;
};
typedef SSCCL TSCCL;
typedef SSCCL* PSCCL;

// f_state bits the backend touches.
enum {
  SCCL_RSSIZE_SET = 0x1,
  SCCL_CURSTYPE_SET = 0x40,
  SCCL_KSSIZE_SET = 0x100,
  SCCL_ANALYSED = 0x1000,
};
