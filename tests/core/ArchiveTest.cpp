#include "formats/Archive.h"

#include "formats/ArchiveException.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace zalvo {

namespace {

std::string bytes(std::initializer_list<unsigned> values) {
    std::string result;
    for (const unsigned value : values) {
        result.push_back(static_cast<char>(value));
    }
    return result;
}

std::string stored(const std::u16string& text) {
    std::ostringstream out;
    Archive archive(out);
    archive.writeString(text);
    archive.flush();
    return out.str();
}

std::u16string loaded(const std::string& data) {
    std::istringstream in(data);
    Archive archive(in);
    return archive.readString();
}

ArchiveException::Cause causeOfReading(std::istream& in) {
    Archive archive(in);
    try {
        archive.readString();
    } catch (const ArchiveException& error) {
        return error.getCause();
    }
    throw std::logic_error("the string was read");
}

ArchiveException::Cause causeOfReading(const std::string& data) {
    std::istringstream in(data);
    return causeOfReading(in);
}

// A stream that cannot seek, like a pipe: the archive cannot ask it how much is left.
class PipeBuffer final : public std::streambuf {
public:
    explicit PipeBuffer(std::string data) : data(std::move(data)) {
        setg(this->data.data(), this->data.data(), this->data.data() + this->data.size());
    }

private:
    std::string data;
};

// A stream whose device fails on the first read.
class BrokenBuffer final : public std::streambuf {
protected:
    int_type underflow() override { throw std::runtime_error("device error"); }
};

} // namespace

TEST(ArchiveTest, WritesTheToolkitsWideStringForm) {
    std::ostringstream out;
    Archive archive(out);
    EXPECT_TRUE(archive.isStoring());
    archive.writeUInt32(1);
    archive.writeString(u"C:\\a.ogg");
    archive.flush();
    EXPECT_EQ(out.str(), bytes({0x01, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0xFF, 0x08, 0x43, 0x00, 0x3A, 0x00,
                                0x5C, 0x00, 0x61, 0x00, 0x2E, 0x00, 0x6F, 0x00, 0x67, 0x00, 0x67, 0x00}));

    EXPECT_EQ(stored(u""), bytes({0xFF, 0xFE, 0xFF, 0x00}));
    EXPECT_EQ(stored(u"\U0001F3B5").substr(4), bytes({0x3C, 0xD8, 0xB5, 0xDF}));
}

TEST(ArchiveTest, LengthPrefixWidensAtEachEscapeValue) {
    const std::string marker = bytes({0xFF, 0xFE, 0xFF});
    EXPECT_EQ(stored(std::u16string(254, u'x')).substr(0, 4), marker + bytes({0xFE}));
    EXPECT_EQ(stored(std::u16string(255, u'x')).substr(0, 6), marker + bytes({0xFF, 0xFF, 0x00}));
    EXPECT_EQ(stored(std::u16string(300, u'x')).substr(0, 6), marker + bytes({0xFF, 0x2C, 0x01}));
    EXPECT_EQ(stored(std::u16string(0xFFFD, u'x')).substr(0, 6), marker + bytes({0xFF, 0xFD, 0xFF}));
    EXPECT_EQ(stored(std::u16string(0xFFFE, u'x')).substr(0, 10),
              marker + bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));

    for (const std::size_t length : {0U, 1U, 254U, 255U, 300U, 0xFFFDU, 0xFFFEU, 0x10000U}) {
        std::u16string text(length, u'\0');
        for (std::size_t i = 0; i < length; ++i) {
            text[i] = static_cast<char16_t>(i * 7919);
        }
        EXPECT_EQ(loaded(stored(text)), text) << length;
    }
}

TEST(ArchiveTest, ReadsIntegersLittleEndian) {
    std::istringstream in(bytes({0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF}));
    Archive archive(in);
    EXPECT_FALSE(archive.isStoring());
    EXPECT_EQ(archive.readUInt32(), 0x12345678U);
    EXPECT_EQ(archive.readUInt32(), 0xFFFFFFFFU);
}

TEST(ArchiveTest, ReadsOtherWritersPrefixesAndNarrowStrings) {
    EXPECT_EQ(loaded(bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x41, 0x00})), u"A");
    EXPECT_EQ(loaded(bytes(
                  {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x42, 0x00})),
              u"B");
    EXPECT_EQ(loaded(bytes({0x05}) + "a.ogg"), u"a.ogg");
    EXPECT_EQ(loaded(bytes({0xFF, 0x2C, 0x01}) + std::string(300, 'n')), std::u16string(300, u'n'));
    EXPECT_EQ(loaded(bytes({0x09}) + "caf\xC3\xA9.mp3"), u"caf\u00E9.mp3");
    EXPECT_EQ(loaded(bytes({0x08}) + "caf\xE9.mp3"), u"caf\u00E9.mp3");
    EXPECT_EQ(loaded(bytes({0x01, 0x80})), u"\u20AC");
}

TEST(ArchiveTest, ShortInputIsEndOfFile) {
    const std::string whole = stored(u"C:\\music\\long enough.ogg");
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_EQ(causeOfReading(whole.substr(0, size)), ArchiveException::Cause::EndOfFile) << size;
    }
    for (std::size_t size = 0; size < 4; ++size) {
        std::istringstream in(std::string(size, '\0'));
        Archive archive(in);
        EXPECT_THROW(archive.readUInt32(), ArchiveException) << size;
    }
}

TEST(ArchiveTest, HostileLengthsEndTheFileWithoutAllocatingForThem) {
    const std::vector<std::string> hostile = {
        bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}) + "abcdef",
        bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(8, '\xFF') + "abcdef",
        bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(7, '\xFF') + "\x7F" + "ab",
        bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(7, '\0') + "\x80" + "ab",
        bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(8, '\xFF') + "abcdef",
        bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}) + "abcdef",
    };
    for (const std::string& data : hostile) {
        EXPECT_EQ(causeOfReading(data), ArchiveException::Cause::EndOfFile);
        PipeBuffer pipe(data);
        std::istream fromPipe(&pipe);
        EXPECT_EQ(causeOfReading(fromPipe), ArchiveException::Cause::EndOfFile);
    }

    PipeBuffer pipe(stored(std::u16string(100000, u'p')));
    std::istream fromPipe(&pipe);
    Archive archive(fromPipe);
    EXPECT_EQ(archive.readString(), std::u16string(100000, u'p'));
}

TEST(ArchiveTest, DeviceFailuresAreNotMistakenForEndOfFile) {
    BrokenBuffer broken;
    std::istream in(&broken);
    EXPECT_EQ(causeOfReading(in), ArchiveException::Cause::ReadFailed);

    std::ostringstream out;
    out.setstate(std::ios_base::badbit);
    Archive archive(out);
    try {
        archive.writeUInt32(0);
        FAIL() << "the write succeeded";
    } catch (const ArchiveException& error) {
        EXPECT_EQ(error.getCause(), ArchiveException::Cause::WriteFailed);
    }
    EXPECT_THROW(archive.writeString(u"a"), ArchiveException);
    EXPECT_THROW(archive.flush(), ArchiveException);
    EXPECT_THROW(archive.readString(), ArchiveException);
}

} // namespace zalvo
