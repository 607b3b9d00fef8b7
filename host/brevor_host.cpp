// brevor-host: the reference host program. It loads a Brevor module and drives it through its
// exports the way a data-logging host does.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "host_module.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: brevor-host info [MODULE]\n"
                 "  info   print what the module declares about itself\n"
                 "MODULE defaults to the brevor.so beside this program.\n");
    return 2;
}

int Info(const std::vector<std::string> &args) {
    const std::string path = args.empty() ? brevor::host::DefaultModulePath() : args[0];
    brevor::host::TLoadedModule module(path);
    // A query instance, released at the end.
    const std::int32_t id = 1;
    TPluginCallRec rec = brevor::host::MakeCallRecord(id);
    const std::int32_t version = module->GetPluginIntfVersion();
    const std::int32_t type = module->GetModuleType(&rec);
    const char *description = module->GetModuleDescription(&rec);
    const float minVersion = module->GetAppMinVersion(&rec);
    const bool multiThread = (module->MultiThreadSupport(&rec) & 0xFF) != 0;
    TPluginCallRec release = brevor::host::MakeReleaseRecord(id);
    module->GetModuleType(&release);

    std::printf("module:            %s\n", path.c_str());
    std::printf("interface version: %d.%d\n", version & 0xFFFF, (version >> 16) & 0xFFFF);
    std::printf("module type:       %d (0x%X)\n", type, static_cast<unsigned>(type));
    std::printf("description:       %s\n", description ? description : "");
    std::printf("minimum host:      %.1f\n", static_cast<double>(minVersion));
    std::printf("multi-thread:      %s\n", multiThread ? "yes" : "no");
    return 0;
}

}  // namespace

// The host function the module looks up by name; brevor-host prints nothing for it yet.
extern "C" __attribute__((visibility("default"))) int32_t BRV_CALL fSendData(uintptr_t hostContext,
                                                                             int32_t dataSourceId,
                                                                             int32_t reserved,
                                                                             const void *bytes,
                                                                             int32_t byteCount) {
    (void)hostContext;
    (void)dataSourceId;
    (void)reserved;
    (void)bytes;
    return byteCount;
}

int main(int argc, char **argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "info") return Info(args);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "brevor-host: %s\n", e.what());
        return 1;
    }
    return Usage();
}
