#pragma once
/* The C interface between the zip component and its compression library
 * (libziplib190.so). The component fills a command record and calls
 * ZL_Exec; the library reports back through the record's callbacks on the
 * calling thread before ZL_Exec returns. Records hold 32-bit fields except
 * where a pointer or a 64-bit size must fit. */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZL_INTERFACE_VERSION 190
#define ZL_MIN_PRIV_VERSION 1900111
#define ZL_PRIV_VERSION 1900112
#define ZL_COMMAND_CHECK 0x03070505u
#define ZL_CALLBACK_CHECK 1799
#define ZL_STREAM_CHECK 1803
#define ZL_LIBRARY_FILE "libziplib190.so"

/* Option bits of ZLCommand.Options for an extract. */
#define ZL_OPT_ALWAYS 0x20u
#define ZL_OPT_EXTRACT 0x4u
#define ZL_OPT_TEST 0x8u
#define ZL_OPT_UPDATE 0x80u
#define ZL_OPT_FRESHEN 0x100u
#define ZL_OPT_DIRNAMES 0x200u
#define ZL_OPT_OVERWRITE 0x400u
#define ZL_OPT_NTFS 0x8000000u
/* Option bits of an add (packing) command. */
#define ZL_OPT_ADD 0x1u
#define ZL_OPT_ENCRYPT 0x2000000u

/* ZLCommand.Encoding when extracting: how stored names are read.
 * Automatic decides per entry (UTF-8 flag, Unicode path or comment field,
 * else the host: DOS the OEM page, others ANSI); the others apply to
 * every entry. Adding uses 0, 2 and 3 only. */
#define ZL_ENC_AUTO 0
#define ZL_ENC_NONE 1  /* the ANSI page: UTF-8 where valid, else 1251 */
#define ZL_ENC_OEM 2   /* the OEM page, 866 */
#define ZL_ENC_UTF8 3
#define ZL_ENC_UPATH 4 /* the Unicode path field, else ANSI */

/* Callback action codes (ZLCallbackRec.ActionCode & 63). */
enum {
  ZL_CB_NEWITEM = 1, ZL_CB_PROGRESS = 2, ZL_CB_ENDITEM = 3, ZL_CB_TOTALCOUNT = 4,
  ZL_CB_TOTALSIZE = 5, ZL_CB_STEP = 6, ZL_CB_STEPPROGRESS = 7, ZL_CB_MESSAGE = 8,
  ZL_CB_SETADDNAME = 9, ZL_CB_PASSWORD = 10, ZL_CB_CRCERROR = 11, ZL_CB_OVERWRITE = 12,
  ZL_CB_SKIPPED = 13, ZL_CB_FILECOMMENT = 14, ZL_CB_EXTRADATA = 15, ZL_CB_SETEXTNAME = 16,
  ZL_CB_ABORTHANDLE = 18, ZL_CB_REQUEST = 19
};

/* Sub-codes of ZL_CB_REQUEST (Arg1). */
enum {
  ZL_REQ_ZIPNAME = 0, ZL_REQ_PASSWORD = 1, ZL_REQ_ROOTDIR = 2, ZL_REQ_EXTRBASEDIR = 3,
  ZL_REQ_ZIPCOMMENT = 4, ZL_REQ_SPEC = 5, ZL_REQ_EXCLUDE = 6, ZL_REQ_STORESUFFIXES = 7,
  ZL_REQ_TEMPDIR = 8
};

/* Requests of the stream callback (ZLStreamRec.Request). */
enum {
  ZL_SR_IDENTIFY = 0, ZL_SR_OPEN = 1, ZL_SR_CLOSE = 2, ZL_SR_SEEK = 3, ZL_SR_READ = 4, ZL_SR_WRITE = 5
};

/* Error numbers carried in the low 6 bits of a message's Arg1 (and, negated,
 * as the result of ZL_Exec). The component shows them as its messages
 * 231 + n. */
enum {
  ZL_ERR_CANCELLED = 1, ZL_ERR_ABORTED = 2, ZL_ERR_CALLBACK = 3, ZL_ERR_NOMEMORY = 4,
  ZL_ERR_STRUCTURE = 5, ZL_ERR_FATAL = 6, ZL_ERR_PASSWORD_FAILED = 7,
  ZL_ERR_PASSWORD_CANCELLED = 8, ZL_ERR_INVALID_ZIP = 9, ZL_ERR_NO_CENTRAL = 10,
  ZL_ERR_UNEXPECTED_END = 11, ZL_ERR_PREMATURE_END = 12, ZL_ERR_OPEN_ZIP = 13,
  ZL_ERR_MULTIPART = 14, ZL_ERR_NOT_FOUND = 15, ZL_ERR_LOGIC = 16, ZL_ERR_NOTHING = 17,
  ZL_ERR_BAD_OPTIONS = 18, ZL_ERR_TEMP_FILE = 19, ZL_ERR_NO_PERMISSION = 20,
  ZL_ERR_READ = 21, ZL_ERR_CREATE = 22, ZL_ERR_WRITE = 23, ZL_ERR_SEEK = 24,
  ZL_ERR_EMPTY_ZIP = 25, ZL_ERR_BAD_NAME = 26, ZL_ERR_GENERIC = 27, ZL_ERR_SKIPPING = 32,
  ZL_ERR_ACCESS = 34, ZL_ERR_DUPLICATE = 35, ZL_ERR_SKIPPED_FILES = 36
};
/* Message flags: put the component's text of the error in front. */
#define ZL_MSG_PREFIX 0xA00u

typedef struct ZLCallbackRec ZLCallbackRec;
typedef struct ZLStreamRec ZLStreamRec;
typedef int32_t (*ZLCallbackFunc)(ZLCallbackRec* rec);
typedef int32_t (*ZLStreamFunc)(ZLStreamRec* rec);

typedef struct ZLCommand {
  intptr_t OwnerWindow;        /* 0: 0 when unattended */
  void* Caller;                /* 1: handed back in every callback record */
  int32_t Version;             /* 2: ZL_INTERFACE_VERSION */
  ZLCallbackFunc Callback;     /* 3 */
  ZLStreamFunc StreamCallback; /* 4 */
  int32_t TraceLevel;          /* 5: -1 trace, 1 verbose, 0 quiet */
  int32_t Encoding;            /* 6: names, ZL_ENC_... */
  void* StreamRecord;          /* 7 */
  int32_t CodePage;            /* 8 */
  uint32_t Options;            /* 9 */
  int32_t PasswordReqCount;    /* 10 */
  int32_t AddState;            /* 11 */
  int32_t AddCompLevel;        /* 12 */
  uint32_t AddFrom;            /* 13 */
  int32_t Reserved[4];         /* 14-17 */
  uint32_t Check;              /* 18: ZL_COMMAND_CHECK */
} ZLCommand;

struct ZLCallbackRec {
  void* Caller;        /* 0 */
  int32_t Reserved;    /* 1 */
  int32_t IsZip;       /* 2 */
  int32_t ActionCode;  /* 3 */
  int32_t IsUTF16;     /* 4: 0 = texts are UTF-8 */
  const void* Msg;     /* 5 */
  const void* Msg2;    /* 6 */
  int64_t Size;        /* 7-8 */
  int64_t Written;     /* 9-10 */
  int32_t Arg1;        /* 11 */
  int32_t Arg2;        /* 12 */
  int32_t Arg3;        /* 13 */
  int32_t Check;       /* 14: ZL_CALLBACK_CHECK */
};

/* A stream record is what the stream callback receives for one request
 * (identify, open, close, seek, read, write). A stream command - ZL_Exec
 * with ZLCommand.StreamRecord set - packs or unpacks one stream into
 * another with the same record:
 *   Stream    the source stream          Buffer   the destination stream
 *   Number    method: 8 deflate, 0 store; out: the method used
 *   Position  in: the size of the uncompressed data (negative: to the
 *             end of the source); out: the bytes written
 *   DosDate   in: the expected CRC-32 of the data (unpacking);
 *             out: the CRC-32 of the data
 * The extract bit of ZLCommand.Options unpacks, otherwise it packs at
 * ZLCommand.AddCompLevel. A stream command answers 1 on success. */
struct ZLStreamRec {
  void* Caller;       /* 0 */
  int32_t Reserved;   /* 1 */
  void* Stream;       /* 2 */
  int32_t Number;     /* 3 */
  int32_t Request;    /* 4 */
  void* Buffer;       /* 5 */
  int64_t Position;   /* 6-7 */
  int32_t Count;      /* 8 */
  uint32_t DosDate;   /* 9 */
  uint32_t Attrs;     /* 10 */
  int32_t Check;      /* 11: ZL_STREAM_CHECK */
};

typedef int32_t (*ZL_ExecFunc)(ZLCommand* cmd);
typedef int32_t (*ZL_VersionFunc)(void);
typedef int32_t (*ZL_PrivVersionFunc)(void);
typedef int32_t (*ZL_AbortFunc)(uint32_t handle);
typedef int32_t (*ZL_NameFunc)(uint16_t* buffer, int32_t capacity, int32_t full);
typedef const char* (*ZL_BannerFunc)(void);
typedef const char* (*ZL_PathFunc)(void);

#ifdef __cplusplus
}
#endif
