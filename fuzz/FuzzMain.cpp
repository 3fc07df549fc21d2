// The libFuzzer entry of one target; the target's name comes from the build (KORIMBO_FUZZ_TARGET).
#include "FuzzRig.h"

#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

korimbo::fuzz::Target g_target = korimbo::fuzz::Target::Container;
std::unique_ptr<korimbo::fuzz::FuzzRig> g_rig;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!korimbo::fuzz::TargetByName(QStringLiteral(KORIMBO_FUZZ_TARGET), g_target)) {
        std::fprintf(stderr, "unknown fuzz target %s\n", KORIMBO_FUZZ_TARGET);
        std::abort();
    }
    // Memory-backed when the machine has it: every input is written to a file and read back.
    const QString shm = QStringLiteral("/dev/shm");
    g_rig = std::make_unique<korimbo::fuzz::FuzzRig>(QFileInfo(shm).isWritable() ? shm : QString());
    if (!g_rig->Ready()) {
        std::fprintf(stderr, "the fuzz rig could not be set up\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    g_rig->Run(g_target, data, size);
    return 0;
}
