// A version document as the update server answers it.

#include "net/updatecheck.h"

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const zandorel::UpdateOutcome outcome = zandorel::EvaluateUpdate(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    (void)zandorel::IsOpenableWebsite(outcome.info.website);
    return 0;
}
