// The to-do file loader: whatever the bytes, no crash, no hang, and a file
// that loads without a report saves back to exactly the same bytes.
#include "ToDoItem.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto decoded = ToDoFile::decode(bytes);
    if (!decoded.damage && ToDoFile::encode(decoded.records) != bytes)
        std::abort();
    return 0;
}
