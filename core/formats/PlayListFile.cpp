#include "PlayListFile.h"

#include "Archive.h"
#include "ArchiveException.h"
#include "TextEncoding.h"

#include <cstdint>
#include <fstream>
#include <optional>

PlayListFile::Contents PlayListFile::read(const std::u16string& path) {
    Contents contents;
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(path);
    if (!utf8) {
        return contents;
    }
    std::ifstream file(*utf8, std::ios::binary);
    if (!file.is_open()) {
        return contents;
    }
    try {
        Archive archive(file);
        const std::uint32_t count = archive.readUInt32();
        for (std::uint32_t i = 0; i < count; ++i) {
            contents.paths.push_back(archive.readString());
        }
        contents.status = Status::Ok;
    } catch (const ArchiveException&) {
        contents.status = Status::Damaged;
    }
    return contents;
}
