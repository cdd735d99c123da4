// Views drawn from a picture and from an output held against each other,
// for the tests and the fuzz target of kelvora-preview --from.
#include "readback/read_back.h"

#include <algorithm>
#include <array>
#include <map>
#include <sstream>

#include "convert/convert_record.h"

namespace kelvora::read_back {

void mark_owners(Owners& owners, const std::vector<ResourceRecord>& records) {
    ++owners.now;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const RecordLayout layout = record_layout(records[r]);
        if (record_is_outside(records[r], layout)) {
            continue;
        }
        // The columns kelvora both encodes and writes: a sprite writes width
        // div 8 of its cells, and at least one column.
        const std::int64_t columns = std::min(layout.cells_across, layout.columns_written);
        for (std::int64_t y = records[r].y; y < records[r].y + layout.rows && y < GRID_SIZE; ++y) {
            for (std::int64_t x = records[r].x; x < records[r].x + 8 * columns; ++x) {
                const auto at = static_cast<std::size_t>(y * GRID_SIZE + x);
                owners.round[at] = owners.now;
                owners.record[at] = static_cast<std::int32_t>(r);
                owners.column[at] = static_cast<std::uint8_t>((x - records[r].x) / 8);
            }
        }
    }
}

std::string compare_views(const View& from_picture, const View& from_output,
                          const std::vector<ResourceRecord>& records, const Owners& owners) {
    // A sprite's cell column: the picture's colour for each of the output's
    // classes, which must be one a column.
    std::map<std::pair<int, int>, std::array<int, 3>> classes;
    for (int y = 0; y < from_picture.height; ++y) {
        for (int x = 0; x < from_picture.width; ++x) {
            const int drawn = from_picture.at(x, y);
            const int read = from_output.at(x, y);
            const int owner = owners.owner(x, y);
            const char* wrong = nullptr;
            if (owner < 0 || record_layout(records[static_cast<std::size_t>(owner)]).body !=
                                 BandBody::SpriteRows) {
                wrong = drawn != read ? "" : nullptr;
            } else if ((drawn == 0) != (read == 0)) {
                wrong = " (transparent in one only)";
            } else {
                const int kind = read == 0 ? 0 : read == 8 ? 1 : 2;
                const std::pair<int, int> key{owner, owners.column_at(x, y)};
                int& colour =
                    classes.try_emplace(key, std::array<int, 3>{-1, -1, -1}).first->second[kind];
                wrong = colour >= 0 && colour != drawn
                            ? " (the sprite column shows that class in two colours)"
                            : nullptr;
                colour = drawn;
            }
            if (wrong != nullptr) {
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + ": " +
                       std::to_string(drawn) + " from the picture, " + std::to_string(read) +
                       " from the output" + wrong;
            }
        }
    }
    return "";
}

std::string compare_over(const View& first, const View& again, const Owners& owners,
                         const std::vector<bool>& skipped) {
    for (int y = 0; y < std::max(first.height, again.height); ++y) {
        for (int x = 0; x < std::max(first.width, again.width); ++x) {
            const int owner = owners.owner(x, y);
            if ((owner < 0 || !skipped[static_cast<std::size_t>(owner)]) &&
                first.at(x, y) != again.at(x, y)) {
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + ": " +
                       std::to_string(first.at(x, y)) + ", then " + std::to_string(again.at(x, y));
            }
        }
    }
    return "";
}

std::set<std::string> listed_kinds(std::string_view table) {
    std::set<std::string> kinds;
    std::istringstream lines{std::string(table)};
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            kinds.insert(line.substr(0, line.find(':')));
        }
    }
    return kinds;
}

} // namespace kelvora::read_back
