#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zalvo {

// The playlist's entries as the search reads them, row by row: each entry's folded text, its folder's
// held once for all the entries of that folder, so that a million entries cost a few tens of bytes each.
// A query is a set of folded words, each of which must appear somewhere in the entry.
class TrackSearchIndex final {
public:
    // The words of a query and, for each folder, those of them it holds already.
    class Query final {
    public:
        bool empty() const { return words.empty(); }

    private:
        friend class TrackSearchIndex;
        std::vector<std::string> words;
        std::vector<std::uint64_t> foundInFolder;
    };

    // Adds the next row: its path, in UTF-8, and the tags known of it (empty when none).
    void add(std::string_view path, std::string_view tags);
    // Done adding: the index gives back what it no longer needs.
    void seal();

    std::size_t size() const { return entries.size(); }
    // What the index holds, in bytes.
    std::size_t bytes() const;

    Query prepare(std::vector<std::string> words) const;
    // Appends the rows from `from` up to `to` that hold every word of `query`.
    void find(const Query& query, std::size_t from, std::size_t to, std::vector<std::uint32_t>& rows) const;

private:
    struct Entry {
        std::uint32_t folder;
        // Where the entry's text ends in `texts`; it starts where the one before ends.
        std::uint32_t end;
    };

    std::string_view textOf(std::size_t row) const;

    std::vector<Entry> entries;
    std::string texts;
    std::vector<std::string> folders;
    // Only while rows are added.
    std::unordered_map<std::string, std::uint32_t> folderIds;
};

} // namespace zalvo
