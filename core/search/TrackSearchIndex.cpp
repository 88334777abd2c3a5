#include "search/TrackSearchIndex.h"

#include "search/SearchText.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace zalvo {

void TrackSearchIndex::add(std::string_view path, std::string_view tags) {
    const std::size_t slash = path.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    auto [known, added] = folderIds.try_emplace(std::string(folder), static_cast<std::uint32_t>(folders.size()));
    if (added) {
        folders.push_back(SearchText::fold(folder));
    }
    std::string text = SearchText::fold(name);
    if (!tags.empty()) {
        text += ' ';
        text += SearchText::fold(tags);
    }
    // Rows past four gigabytes of text are kept, with nothing to find in them.
    if (texts.size() + text.size() <= std::numeric_limits<std::uint32_t>::max()) {
        texts += text;
    }
    entries.push_back({known->second, static_cast<std::uint32_t>(texts.size())});
}

void TrackSearchIndex::seal() {
    folderIds = {};
    entries.shrink_to_fit();
    texts.shrink_to_fit();
    folders.shrink_to_fit();
}

std::size_t TrackSearchIndex::bytes() const {
    std::size_t total =
        entries.capacity() * sizeof(Entry) + texts.capacity() + folders.capacity() * sizeof(std::string);
    for (const std::string& folder : folders) {
        total += folder.capacity() > std::string().capacity() ? folder.capacity() + 1 : 0;
    }
    return total;
}

TrackSearchIndex::Query TrackSearchIndex::prepare(std::vector<std::string> words) const {
    Query query;
    query.words = std::move(words);
    query.words.resize(std::min(query.words.size(), SearchText::maxWords));
    query.foundInFolder.reserve(folders.size());
    for (const std::string& folder : folders) {
        std::uint64_t found = 0;
        for (std::size_t word = 0; word < query.words.size(); ++word) {
            if (folder.find(query.words[word]) != std::string::npos) {
                found |= std::uint64_t{1} << word;
            }
        }
        query.foundInFolder.push_back(found);
    }
    return query;
}

void TrackSearchIndex::find(const Query& query, std::size_t from, std::size_t to,
                            std::vector<std::uint32_t>& rows) const {
    const std::uint64_t all =
        query.words.size() == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << query.words.size()) - 1;
    for (std::size_t row = from; row < std::min(to, entries.size()); ++row) {
        const std::uint64_t inFolder = query.foundInFolder[entries[row].folder];
        bool matches = true;
        if (inFolder != all) {
            const std::string_view text = textOf(row);
            for (std::size_t word = 0; word < query.words.size() && matches; ++word) {
                matches = (inFolder >> word & 1U) != 0 || text.find(query.words[word]) != std::string_view::npos;
            }
        }
        if (matches) {
            rows.push_back(static_cast<std::uint32_t>(row));
        }
    }
}

std::string_view TrackSearchIndex::textOf(std::size_t row) const {
    const std::size_t start = row == 0 ? 0 : entries[row - 1].end;
    return std::string_view(texts).substr(start, entries[row].end - start);
}

} // namespace zalvo
