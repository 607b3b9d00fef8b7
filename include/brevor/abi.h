/*
 * Brevor binary interface: the call record, the exports, the host function, the objects a host
 * and the module share in memory (class record, parameter list, list item, counted 8-bit text,
 * OLE string, VARIANT). Plain C, usable from C and C++. Every layout is checked at compile time
 * for the target being compiled (32-bit or 64-bit).
 */
#ifndef BREVOR_ABI_H
#define BREVOR_ABI_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define BRV_CALL __stdcall
#else
#define BRV_CALL
#endif

#ifdef __cplusplus
#define BRV_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define BRV_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Interface version returned by GetPluginIntfVersion: major in the low word, minor in the high. */
#define BRV_INTERFACE_VERSION 4
/* Value of TPluginCallRec.Tag for every record the module accepts. */
#define BRV_CALL_TAG 102
/* TPluginCallRec.Release value that frees the instance. */
#define BRV_RELEASE 0xFF
/* TPluginCallRec.DataKind: Data points to a parameter list. */
#define BRV_DATA_KIND_LIST 1
/* TPluginCallRec.ResultKind values. */
#define BRV_RESULT_KIND_LIST 1
#define BRV_RESULT_KIND_NUMBER 5
/* TqelParamsList.Signature while the list is alive. */
#define BRV_LIST_SIGNATURE 0x0FDE2E4Bu
/* Name of the item that closes a row in a rows list. */
#define BRV_ROW_MARKER "$NEW_ROW$"

/* Module kinds: bit i of a TModuleTypes byte is enumerator i. */
enum {
    mttDataQuery = 0,
    mttDataParser = 1,
    mttDataExport = 2,
    mttEventsHandling = 3,
    mttLogging = 4,
    mttFilter = 5,
    mttDeviceLayer = 6,
    mttMenuExt = 7
};
/* Module options: bit i of a TModuleOptions byte. */
enum { moNoConfig = 0, moXMLOptions = 1 };

/* ---------------------------------------------------------------- call record (packed) */

#pragma pack(push, 1)
typedef struct TPluginCallRec {
    int32_t Tag;
    uint8_t Release;
    int32_t InstanceId;
    uintptr_t HostContext;
    uint8_t Reserved1[8];
    uint8_t ModuleTypes;
    void *Params;
    void *Reserved2;
    int32_t BufferSize;
    uint8_t DataKind;
    void *Data;
    void *Reserved3;
    int32_t ResultSize;
    uint8_t ResultKind;
    intptr_t ResultValue;
} TPluginCallRec;
#pragma pack(pop)

typedef TPluginCallRec *PPluginCallRec;

/* ---------------------------------------------------------------- shared objects */

/* Class record: the first field of every list and item points to one. */
typedef struct TBrvClass {
    const char *ClassName;
    const struct TBrvClass *Parent;
    int32_t InstanceSize;
    /* Lists only; may be null. action: 0 added, 1 extracted, 2 deleted. */
    void(BRV_CALL *Notify)(void *list, void *item, int32_t action);
} TBrvClass;

#define BRV_NOTIFY_ADDED 0
#define BRV_NOTIFY_EXTRACTED 1
#define BRV_NOTIFY_DELETED 2

/* OLE variant type codes. */
enum {
    BRV_VT_EMPTY = 0,
    BRV_VT_NULL = 1,
    BRV_VT_I2 = 2,
    BRV_VT_I4 = 3,
    BRV_VT_R4 = 4,
    BRV_VT_R8 = 5,
    BRV_VT_CY = 6,
    BRV_VT_DATE = 7,
    BRV_VT_BSTR = 8,
    BRV_VT_BOOL = 11,
    BRV_VT_I1 = 16,
    BRV_VT_UI1 = 17,
    BRV_VT_UI2 = 18,
    BRV_VT_UI4 = 19,
    BRV_VT_I8 = 20,
    BRV_VT_UI8 = 21,
    BRV_VT_INT = 22,
    BRV_VT_UINT = 23,
    /* A counted 8-bit text (the pointer is the first character). */
    BRV_VT_STRING = 0x100
};
#define BRV_VARIANT_TRUE ((int16_t)-1)
#define BRV_VARIANT_FALSE ((int16_t)0)

/* OLE VARIANT: 16 bytes on 32-bit targets, 24 on 64-bit targets. */
typedef struct BRV_VARIANT {
    uint16_t vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        int64_t llVal;
        uint64_t ullVal;
        int32_t lVal;
        uint32_t ulVal;
        int16_t iVal;
        uint16_t uiVal;
        int8_t cVal;
        uint8_t bVal;
        int16_t boolVal;
        float fltVal;
        double dblVal;
        double date;
        int64_t cyVal; /* currency: value times 10000 */
        uint16_t *bstrVal;
        char *strVal; /* BRV_VT_STRING: counted 8-bit text */
        void *ptr;
        struct {
            void *pvRecord;
            void *pRecInfo;
        } rec;
    } u;
} BRV_VARIANT;

/* Counted 8-bit text: the block starts with these two fields; Text points at Chars. */
typedef struct TBrvTextHeader {
    int32_t RefCount; /* -1: a constant that is never freed */
    int32_t Length;
    /* char Chars[Length + 1]; zero-terminated */
} TBrvTextHeader;

/* OLE string on POSIX: the block starts with the byte length; the string points after it. */
typedef struct TBrvOleStringHeader {
    uint32_t ByteLength; /* without the terminator */
    /* uint16_t Units[ByteLength / 2 + 1]; zero-terminated */
} TBrvOleStringHeader;

typedef struct TqelParamsList {
    const TBrvClass *Class;
    struct TqelParamsListItem **Items;
    int32_t Count;
    int32_t Capacity;
    uint32_t Signature;
    char *ListId; /* counted 8-bit text */
    int32_t Reserved;
} TqelParamsList;

typedef struct TqelRowsParamsList {
    TqelParamsList List;
    int32_t RowsReserved;
} TqelRowsParamsList;

typedef struct TqelParamsListItem {
    const TBrvClass *Class;
    char *Name;      /* counted 8-bit text */
    char *LowerName; /* counted 8-bit text */
    void *Reserved;
    uint8_t State;
    uint8_t StateReserved[7];
    BRV_VARIANT Value;
} TqelParamsListItem;

/* ---------------------------------------------------------------- functions */

typedef int32_t(BRV_CALL *TGetPluginIntfVersion)(void);
typedef float(BRV_CALL *TGetAppMinVersion)(TPluginCallRec *rec);
typedef const char *(BRV_CALL *TGetModuleDescription)(TPluginCallRec *rec);
typedef int32_t(BRV_CALL *TGetModuleType)(TPluginCallRec *rec);
typedef uint8_t(BRV_CALL *TMultiThreadSupport)(TPluginCallRec *rec);
typedef int32_t(BRV_CALL *TGetCustomCommands)(TPluginCallRec *rec);
typedef int32_t(BRV_CALL *TExecutePluginCommand)(TPluginCallRec *rec);
typedef void(BRV_CALL *TShowOptionsDialog)(TPluginCallRec *rec);
typedef int32_t(BRV_CALL *TGetData)(TPluginCallRec *rec);
typedef int32_t(BRV_CALL *TGetEvents)(TPluginCallRec *rec);
typedef int32_t(BRV_CALL *TProcessData)(TPluginCallRec *rec);
typedef int32_t(BRV_CALL *TGetLogEx)(TPluginCallRec *rec);
typedef int32_t(BRV_CALL *TTraceProcess)(char *buffer, int32_t bufferSize);

/* Host function looked up by name ("fSendData") in the host module. Negative: refused. */
typedef int32_t(BRV_CALL *TSendDataFunc)(uintptr_t hostContext, int32_t dataSourceId,
                                         int32_t reserved, const void *bytes, int32_t byteCount);

/* ---------------------------------------------------------------- messages channel (POSIX) */

#define BRV_WM_COPYDATA 0x004A
#define BRV_WM_LOG_PENDING 0x0711
#define BRV_COPYDATA_BATCH 1
#define BRV_COPYDATA_LINE 2

#pragma pack(push, 1)
typedef struct TBrvMessageHeader {
    uint32_t Seq; /* 0: posted, no reply */
    uint32_t Msg;
    uint64_t WParam;
    uint64_t DataTag;
    uint32_t ByteCount;
} TBrvMessageHeader;

typedef struct TBrvMessageReply {
    uint32_t Seq;
    uint32_t Zero;
    int64_t Result;
} TBrvMessageReply;
#pragma pack(pop)

/* ---------------------------------------------------------------- layout checks */

#define BRV_CHECK(type, field, off32, off64)                                              \
    BRV_STATIC_ASSERT(offsetof(type, field) == (sizeof(void *) == 4 ? (off32) : (off64)), \
                      #type "." #field " offset")
#define BRV_CHECK_SIZE(type, size32, size64) \
    BRV_STATIC_ASSERT(sizeof(type) == (sizeof(void *) == 4 ? (size32) : (size64)), #type " size")

BRV_STATIC_ASSERT(sizeof(void *) == 4 || sizeof(void *) == 8, "32-bit or 64-bit target");

BRV_CHECK(TPluginCallRec, Tag, 0, 0);
BRV_CHECK(TPluginCallRec, Release, 4, 4);
BRV_CHECK(TPluginCallRec, InstanceId, 5, 5);
BRV_CHECK(TPluginCallRec, HostContext, 9, 9);
BRV_CHECK(TPluginCallRec, Reserved1, 13, 17);
BRV_CHECK(TPluginCallRec, ModuleTypes, 21, 25);
BRV_CHECK(TPluginCallRec, Params, 22, 26);
BRV_CHECK(TPluginCallRec, Reserved2, 26, 34);
BRV_CHECK(TPluginCallRec, BufferSize, 30, 42);
BRV_CHECK(TPluginCallRec, DataKind, 34, 46);
BRV_CHECK(TPluginCallRec, Data, 35, 47);
BRV_CHECK(TPluginCallRec, Reserved3, 39, 55);
BRV_CHECK(TPluginCallRec, ResultSize, 43, 63);
BRV_CHECK(TPluginCallRec, ResultKind, 47, 67);
BRV_CHECK(TPluginCallRec, ResultValue, 48, 68);
BRV_CHECK_SIZE(TPluginCallRec, 52, 76);

BRV_CHECK(TBrvClass, ClassName, 0, 0);
BRV_CHECK(TBrvClass, Parent, 4, 8);
BRV_CHECK(TBrvClass, InstanceSize, 8, 16);
BRV_CHECK(TBrvClass, Notify, 12, 24);
BRV_CHECK_SIZE(TBrvClass, 16, 32);

BRV_CHECK(BRV_VARIANT, vt, 0, 0);
BRV_CHECK(BRV_VARIANT, u, 8, 8);
BRV_CHECK_SIZE(BRV_VARIANT, 16, 24);

BRV_CHECK(TqelParamsList, Class, 0, 0);
BRV_CHECK(TqelParamsList, Items, 4, 8);
BRV_CHECK(TqelParamsList, Count, 8, 16);
BRV_CHECK(TqelParamsList, Capacity, 12, 20);
BRV_CHECK(TqelParamsList, Signature, 16, 24);
BRV_CHECK(TqelParamsList, ListId, 20, 32);
BRV_CHECK(TqelParamsList, Reserved, 24, 40);
BRV_CHECK_SIZE(TqelParamsList, 28, 48);
BRV_CHECK(TqelRowsParamsList, RowsReserved, 28, 48);

BRV_CHECK(TqelParamsListItem, Class, 0, 0);
BRV_CHECK(TqelParamsListItem, Name, 4, 8);
BRV_CHECK(TqelParamsListItem, LowerName, 8, 16);
BRV_CHECK(TqelParamsListItem, Reserved, 12, 24);
BRV_CHECK(TqelParamsListItem, State, 16, 32);
BRV_CHECK(TqelParamsListItem, Value, 24, 40);
BRV_CHECK_SIZE(TqelParamsListItem, 40, 64);

BRV_STATIC_ASSERT(sizeof(TBrvTextHeader) == 8, "counted text header");
BRV_STATIC_ASSERT(sizeof(TBrvOleStringHeader) == 4, "OLE string header");
BRV_STATIC_ASSERT(sizeof(TBrvMessageHeader) == 28, "message header");
BRV_STATIC_ASSERT(sizeof(TBrvMessageReply) == 16, "message reply");

#undef BRV_CHECK
#undef BRV_CHECK_SIZE

#ifdef __cplusplus
}
#endif

#endif /* BREVOR_ABI_H */
