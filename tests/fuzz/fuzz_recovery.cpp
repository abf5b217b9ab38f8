// Fuzzes the recovery copy reader: any bytes are refused or read, and a copy that reads
// is written back to the same bytes.
#include "recovery/RecoveryStore.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    RecoveryCopy copy;
    QString reason;
    const RecoveryRead read = ParseRecoveryCopy(bytes, &copy, &reason);
    if (read == RecoveryRead::Damaged && reason.isEmpty())
        abort();
    if (read == RecoveryRead::Ok) {
        RecoveryCopy again;
        if (ParseRecoveryCopy(FormatRecoveryCopy(copy), &again, nullptr) != RecoveryRead::Ok
            || again.markdown != copy.markdown || again.head != copy.head || again.pid != copy.pid
            || again.processIdentity != copy.processIdentity)
            abort();
    }
    return 0;
}
