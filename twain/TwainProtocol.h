#pragma once
// The TWAIN records, codes and entry points that the viewer and its source
// manager share. Records are packed to two bytes, as the 32-bit Windows
// interface lays them out, so that TW_IDENTITY keeps its 156 bytes.
#include <cstdint>

using TW_UINT8 = uint8_t;
using TW_UINT16 = uint16_t;
using TW_UINT32 = uint32_t;
using TW_INT16 = int16_t;
using TW_BOOL = uint16_t;
using TW_MEMREF = void*;
// A block of "global memory": here the block's address; locking it is the
// address itself. Blocks the source manager hands out are freed with
// DSM_GlobalFree.
using TW_HANDLE = void*;
using TW_STR32 = char[34];

#pragma pack(push, 2)
struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

// pEvent is the QEvent being delivered; the source manager answers whether
// it was one of its own.
struct TW_EVENT {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
};

struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  TW_UINT32 Reserved;
};

struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
};

struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};
#pragma pack(pop)

static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(sizeof(TW_ONEVALUE) == 6);
static_assert(sizeof(TW_PENDINGXFERS) == 6);

// Data groups.
inline constexpr TW_UINT32 DG_CONTROL = 1;
inline constexpr TW_UINT32 DG_IMAGE = 2;

// Data argument types.
inline constexpr TW_UINT16 DAT_CAPABILITY = 1;
inline constexpr TW_UINT16 DAT_EVENT = 2;
inline constexpr TW_UINT16 DAT_IDENTITY = 3;
inline constexpr TW_UINT16 DAT_PARENT = 4;
inline constexpr TW_UINT16 DAT_PENDINGXFERS = 5;
inline constexpr TW_UINT16 DAT_STATUS = 8;
inline constexpr TW_UINT16 DAT_USERINTERFACE = 9;
inline constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x104;

// Messages.
inline constexpr TW_UINT16 MSG_NULL = 0;
inline constexpr TW_UINT16 MSG_GET = 1;
inline constexpr TW_UINT16 MSG_GETCURRENT = 2;
inline constexpr TW_UINT16 MSG_GETDEFAULT = 3;
inline constexpr TW_UINT16 MSG_GETFIRST = 4;
inline constexpr TW_UINT16 MSG_GETNEXT = 5;
inline constexpr TW_UINT16 MSG_SET = 6;
inline constexpr TW_UINT16 MSG_RESET = 7;
inline constexpr TW_UINT16 MSG_XFERREADY = 0x101;
inline constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x102;
inline constexpr TW_UINT16 MSG_CLOSEDSOK = 0x103;
inline constexpr TW_UINT16 MSG_OPENDSM = 0x301;
inline constexpr TW_UINT16 MSG_CLOSEDSM = 0x302;
inline constexpr TW_UINT16 MSG_OPENDS = 0x401;
inline constexpr TW_UINT16 MSG_CLOSEDS = 0x402;
inline constexpr TW_UINT16 MSG_USERSELECT = 0x403;
inline constexpr TW_UINT16 MSG_DISABLEDS = 0x501;
inline constexpr TW_UINT16 MSG_ENABLEDS = 0x502;
inline constexpr TW_UINT16 MSG_PROCESSEVENT = 0x601;
inline constexpr TW_UINT16 MSG_ENDXFER = 0x701;

// Return codes.
inline constexpr TW_UINT16 TWRC_SUCCESS = 0;
inline constexpr TW_UINT16 TWRC_FAILURE = 1;
inline constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
inline constexpr TW_UINT16 TWRC_CANCEL = 3;
inline constexpr TW_UINT16 TWRC_DSEVENT = 4;
inline constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
inline constexpr TW_UINT16 TWRC_XFERDONE = 6;
inline constexpr TW_UINT16 TWRC_ENDOFLIST = 7;

// Condition codes.
inline constexpr TW_UINT16 TWCC_SUCCESS = 0;
inline constexpr TW_UINT16 TWCC_BUMMER = 1;
inline constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
inline constexpr TW_UINT16 TWCC_NODS = 3;
inline constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
inline constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
inline constexpr TW_UINT16 TWCC_BADCAP = 6;
inline constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
inline constexpr TW_UINT16 TWCC_BADVALUE = 10;
inline constexpr TW_UINT16 TWCC_SEQERROR = 11;
inline constexpr TW_UINT16 TWCC_BADDEST = 12;
inline constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
inline constexpr TW_UINT16 TWCC_CAPBADOPERATION = 14;
inline constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
inline constexpr TW_UINT16 TWCC_PAPERJAM = 20;

// Capabilities and containers.
inline constexpr TW_UINT16 ICAP_XFERMECH = 0x103;
inline constexpr TW_UINT16 TWON_ONEVALUE = 5;
inline constexpr TW_UINT16 TWTY_UINT16 = 4;
inline constexpr TW_UINT32 TWSX_NATIVE = 0;
inline constexpr TW_UINT32 TWSX_FILE = 1;
inline constexpr TW_UINT32 TWSX_MEMORY = 2;

inline constexpr TW_UINT16 TWLG_USA = 13;
inline constexpr TW_UINT16 TWCY_USA = 1;

// The library's exports. DSM_Entry is the one TWAIN entry point;
// DSM_GlobalSize and DSM_GlobalFree stand in for the system's calls on the
// blocks of a native transfer; DSM_Available answers whether the manager
// can serve at all (its scanner library loads and finds a device).
extern "C" {
using DSMENTRYPROC = TW_UINT16 (*)(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                   TW_MEMREF pData);
using DSMSIZEPROC = TW_UINT32 (*)(TW_HANDLE);
using DSMFREEPROC = void (*)(TW_HANDLE);
using DSMAVAILABLEPROC = TW_BOOL (*)();
}
inline constexpr const char* DsmLibraryName = "libpelorin-twain.so";
