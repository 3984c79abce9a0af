// Column attributes: one ODBC column attribute value per entry, packed for the wire
// so that a value shared by all columns travels once. Filled by the backend's
// description call, sent in the column-attribute replies.
#pragma once

#include "model/errcode.h"
#include "model/types.h"

typedef enum attrType_t : int { ATTR_STRING = 0, ATTR_SGN32 = 1, ATTR_UNS32 = 2, ATTR_FLT64 = 3 } attrType_t;

struct colattrib {
  sgn16 attribType;  // attrType_t
  union {
    String s;
    sgn32 l;
    uns32 lu;
    flt64 f;
  } u;
};

struct ColAttrib {
  uns16 col;       // 1-based; 0 = the value for all columns
  sgn16 attribId;  // negative: the entry carries no attribute
  colattrib attribVal;
};

typedef sgn32 colAttribKey_t;  // attribId << 16 | col

// Packs the working array rAttrib (nAttribs entries, heap-allocated by the producer)
// into a new array whose entries own copies of their strings, and frees the working
// array with each distinct string in it, in every case: afterwards every string has
// exactly one owner. fCopyType is kept for the callers' sake; packing always copies.
errcode_t ColAttribPack(uns16 nAttribs, ColAttrib* rAttrib, uns16* pnPackedAttribs,
                        ColAttrib** prPackedAttrib, int fCopyType);
uns16 ColAttribPack_Scan(uns16 nAttribs, ColAttrib* rAttrib, uns16 nPackedAttribs, ColAttrib* rPackedAttrib,
                         int fCopyType);
ColAttrib* ColAttribCopy(ColAttrib* pDst, ColAttrib* pSrc, int fCopyType);
int ColAttribEqual(ColAttrib* pA1, ColAttrib* pA2);
void ColAttribFree(ColAttrib* pColAttrib);

// Attributes kept in a hash table (util/hashtab.h) whose keys are colAttribKey_t
// values (4-byte keys) and whose data are heap ColAttrib entries.
struct _httable;
typedef struct _httable HTTABLE;
int ColAttribLookup(HTTABLE* pHt, uns16 AttribId, uns16 iCol, sgn32* pInt32, char** ppStr, flt64* pFlt64);
// The table's entry destructor: frees a string value, then the entry; returns 0.
int ColAttribHtEntryDestroy(void* data, void* key, void* usr);
