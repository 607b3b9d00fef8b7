/* Loads brevor.dll the way a Windows host does (LoadLibrary, GetProcAddress by undecorated
 * name), calls its information exports through the interface's function types, and unloads it.
 * On 32-bit every call also checks that the callee removed its arguments (stdcall): a calling
 * convention that differs between the header and the DLL moves the stack pointer. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "brevor/abi.h"

static int failures;

#define CHECK(cond, what)                                   \
    do {                                                    \
        if (!(cond)) {                                      \
            printf("FAILED line %d: %s\n", __LINE__, what); \
            ++failures;                                     \
        }                                                   \
    } while (0)

static const char *const kExports[] = {"GetPluginIntfVersion",
                                       "GetAppMinVersion",
                                       "GetModuleDescription",
                                       "GetModuleType",
                                       "MultiThreadSupport",
                                       "GetCustomCommands",
                                       "ExecutePluginCommand",
                                       "ShowOptionsDialog",
                                       "GetData",
                                       "GetEvents",
                                       "ProcessData",
                                       "GetLogEx",
                                       "TraceProcess"};

/* Calls GetModuleType once and tells whether the stack pointer is where it was. */
static __attribute__((noinline)) int TypeKeepsStack(TGetModuleType getType, TPluginCallRec *rec,
                                                    int32_t *type) {
#if defined(__i386__)
    void *before;
    void *after;
    __asm__ volatile("movl %%esp, %0" : "=r"(before));
    *type = getType(rec);
    __asm__ volatile("movl %%esp, %0" : "=r"(after));
    return before == after;
#else
    *type = getType(rec);
    return 1;
#endif
}

int main(int argc, char **argv) {
    if (argc != 2) {
        printf("usage: dll_smoke brevor.dll\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA(argv[1]);
    if (dll == NULL) {
        printf("FAILED: LoadLibrary(%s): error %lu\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    for (size_t i = 0; i < sizeof kExports / sizeof kExports[0]; ++i)
        if (GetProcAddress(dll, kExports[i]) == NULL) {
            printf("FAILED: no export %s\n", kExports[i]);
            ++failures;
        }
    if (failures != 0) return 1;

    TGetPluginIntfVersion version =
        (TGetPluginIntfVersion)(void (*)(void))GetProcAddress(dll, "GetPluginIntfVersion");
    TGetModuleType getType = (TGetModuleType)(void (*)(void))GetProcAddress(dll, "GetModuleType");
    TGetModuleDescription description =
        (TGetModuleDescription)(void (*)(void))GetProcAddress(dll, "GetModuleDescription");
    TTraceProcess trace = (TTraceProcess)(void (*)(void))GetProcAddress(dll, "TraceProcess");

    CHECK(version() == BRV_INTERFACE_VERSION, "interface version");

    TPluginCallRec rec;
    memset(&rec, 0, sizeof rec);
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = 7;
    int32_t type = 0;
    CHECK(TypeKeepsStack(getType, &rec, &type), "GetModuleType left the stack pointer moved");
    CHECK(type == 33, "module type of a query instance");
    const char *text = description(&rec);
    CHECK(text != NULL && strcmp(text, "Brevor") == 0, "module description");

    rec.Release = BRV_RELEASE;
    CHECK(TypeKeepsStack(getType, &rec, &type), "releasing call left the stack pointer moved");
    CHECK(type == 0, "the releasing call answers the failure value");

    CHECK(trace(NULL, 0) > 0, "TraceProcess renders a stack");
    CHECK(FreeLibrary(dll) != FALSE, "FreeLibrary");
    if (failures == 0) printf("dll_smoke: ok\n");
    return failures == 0 ? 0 : 1;
}
