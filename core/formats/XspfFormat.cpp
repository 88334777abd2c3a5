#include "formats/XspfFormat.h"

#include "formats/EntryPath.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <expat.h>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

namespace zalvo {

namespace {

// The element's name without a namespace prefix.
std::string_view localName(const XML_Char* name) {
    const std::string_view full(name);
    const std::size_t colon = full.rfind(':');
    return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Refused as damage: percent-encoding may triple the longest path; a token past that, with room for its
// markup, names nothing a playlist needs. A limit keeps the parser from holding, and scanning again and
// again, one endless attribute or comment.
constexpr std::size_t maxTokenBytes = 4 * EntryPath::longestPath;
// A playlist needs six levels or so; the parser keeps every open element.
constexpr std::size_t maxDepth = 256;

// Follows the parser through playlist / trackList / track / location, with the base URI of each level
// of that route: a base set anywhere else reaches no location, so what is kept does not grow with the
// nesting.
class XspfHandler final {
public:
    XspfHandler(XML_Parser parser, std::string folderBase, const EntrySink& sink)
        : parser(parser), sink(sink), bases{{std::size_t{0}, std::move(folderBase)}} {}

    bool sawRoot = false;
    bool notAPlayList = false;
    bool cancelled = false;

    static void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        static_cast<XspfHandler*>(data)->start(name, attributes);
    }
    static void XMLCALL onEnd(void* data, const XML_Char* /*name*/) { static_cast<XspfHandler*>(data)->end(); }
    static void XMLCALL onText(void* data, const XML_Char* text, int length) {
        static_cast<XspfHandler*>(data)->addText(std::string_view(text, static_cast<std::size_t>(length)));
    }
    // Entities declared in the document are refused: a playlist needs none, and they can expand without end.
    static void XMLCALL onEntity(void* data, const XML_Char* /*name*/, int /*parameter*/, const XML_Char* /*value*/,
                                 int /*length*/, const XML_Char* /*base*/, const XML_Char* /*systemId*/,
                                 const XML_Char* /*publicId*/, const XML_Char* /*notation*/) {
        XML_StopParser(static_cast<XspfHandler*>(data)->parser, XML_FALSE);
    }

private:
    static constexpr std::array<std::string_view, 4> route{"playlist", "trackList", "track", "location"};

    void start(const XML_Char* name, const XML_Char** attributes) {
        ++depth;
        textLength = 0;
        if (depth > maxDepth) {
            XML_StopParser(parser, XML_FALSE);
            return;
        }
        if (depth == 1) {
            sawRoot = true;
            if (localName(name) != route[0]) {
                notAPlayList = true;
                XML_StopParser(parser, XML_FALSE);
                return;
            }
        }
        const bool onRoute = matched + 1 == depth && depth <= route.size() && localName(name) == route[depth - 1];
        if (!onRoute || (depth == route.size() && trackHasLocation)) {
            return;
        }
        matched = depth;
        for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
            if (std::strcmp(attribute[0], "xml:base") == 0) {
                bases.emplace_back(depth, EntryPath::resolveUri(bases.back().second, attribute[1]));
            }
        }
        if (depth == 3) {
            trackHasLocation = false;
        }
        if (depth == route.size()) {
            location.clear();
        }
    }

    void end() {
        textLength = 0;
        if (matched == depth) {
            if (depth == route.size()) {
                deliverLocation();
            }
            --matched;
        }
        if (bases.back().first == depth) {
            bases.pop_back();
        }
        --depth;
    }

    void addText(std::string_view text) {
        textLength += text.size();
        if (textLength > maxTokenBytes) {
            XML_StopParser(parser, XML_FALSE);
            return;
        }
        if (matched == route.size() && matched == depth) {
            location.append(text);
        }
    }

    void deliverLocation() {
        trackHasLocation = true;
        std::optional<std::u16string> path = EntryPath::fromUri(trimmed(location), bases.back().second);
        location.clear();
        if (!sink(std::move(path).value_or(std::u16string()))) {
            cancelled = true;
            XML_StopParser(parser, XML_FALSE);
        }
    }

    XML_Parser parser;
    const EntrySink& sink;
    // At most one per level of the route, each no longer than the tokens it was built from.
    std::vector<std::pair<std::size_t, std::string>> bases;
    std::size_t depth = 0;
    std::size_t matched = 0;
    bool trackHasLocation = false;
    std::string location;
    // Text since the last tag: one run of it is one token.
    std::size_t textLength = 0;
};

// Text outside elements may hold any character XML allows; these it does not.
std::string escaped(std::string_view text) {
    std::string result;
    for (const char c : text) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
                result.push_back(c);
            }
        }
    }
    return result;
}

} // namespace

std::span<const std::u16string_view> XspfFormat::extensions() const {
    static constexpr std::array<std::u16string_view, 1> names{u".xspf"};
    return names;
}

PlayListFormat::Match XspfFormat::recognises(std::string_view head) const {
    if (head.starts_with("\xEF\xBB\xBF")) {
        head.remove_prefix(3);
    }
    return trimmed(head).starts_with('<') ? Match::Certain : Match::No;
}

ReadStatus XspfFormat::read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const {
    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                              &XML_ParserFree);
    if (!parser) {
        return ReadStatus::Unreadable;
    }
    XspfHandler handler(parser.get(), EntryPath::folderUri(folder), sink);
    XML_SetUserData(parser.get(), &handler);
    XML_SetElementHandler(parser.get(), &XspfHandler::onStart, &XspfHandler::onEnd);
    XML_SetCharacterDataHandler(parser.get(), &XspfHandler::onText);
    XML_SetEntityDeclHandler(parser.get(), &XspfHandler::onEntity);

    const auto failure = [&handler] {
        return handler.sawRoot && !handler.notAPlayList ? ReadStatus::Damaged : ReadStatus::Unrecognised;
    };
    constexpr int chunkSize = 64 * 1024;
    std::uint64_t fed = 0;
    bool done = false;
    while (!done) {
        void* buffer = XML_GetBuffer(parser.get(), chunkSize);
        if (buffer == nullptr) {
            return failure();
        }
        input.read(static_cast<char*>(buffer), chunkSize);
        const auto length = static_cast<int>(input.gcount());
        fed += static_cast<std::uint64_t>(length);
        done = length == 0;
        if (XML_ParseBuffer(parser.get(), length, done ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            return handler.cancelled ? ReadStatus::Cancelled : failure();
        }
        // Between calls the parser stands at the start of the token it has not seen the end of yet.
        const XML_Index tokenStart = XML_GetCurrentByteIndex(parser.get());
        if (tokenStart >= 0 && fed - static_cast<std::uint64_t>(tokenStart) > maxTokenBytes) {
            return failure();
        }
    }
    if (input.bad()) {
        return ReadStatus::Damaged;
    }
    return handler.sawRoot ? ReadStatus::Ok : ReadStatus::Unrecognised;
}

bool XspfFormat::write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder) const {
    output << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n  <trackList>\n";
    for (const SavedTrack& track : tracks) {
        const std::optional<std::string> location = EntryPath::forUri(track.path, folder);
        if (!location) {
            continue;
        }
        output << "    <track>\n      <location>" << escaped(*location) << "</location>\n";
        if (!track.title.empty()) {
            output << "      <title>" << escaped(track.title) << "</title>\n";
        }
        output << "      <duration>" << std::llround(static_cast<double>(track.seconds) * 1000.0)
               << "</duration>\n    </track>\n";
    }
    output << "  </trackList>\n</playlist>\n";
    return static_cast<bool>(output.flush());
}

} // namespace zalvo
