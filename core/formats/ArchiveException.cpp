#include "formats/ArchiveException.h"

namespace zalvo {

namespace {

const char* describe(ArchiveException::Cause cause) {
    switch (cause) {
    case ArchiveException::Cause::EndOfFile:
        return "Unexpected end of file in the archive";
    case ArchiveException::Cause::WriteFailed:
        return "Could not write to the archive";
    case ArchiveException::Cause::ReadFailed:
        return "Could not read from the archive";
    case ArchiveException::Cause::TooLong:
        return "A string in the archive is longer than allowed";
    }
    return "Archive error";
}

} // namespace

ArchiveException::ArchiveException(Cause cause) : std::runtime_error(describe(cause)), cause(cause) {}

} // namespace zalvo
