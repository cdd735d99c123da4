// The checker's findings over a run: its counts and its label sets, started
// and ended. The checks themselves lie in the files named for what they
// look at: picture_findings.cpp, line_findings.cpp, label_findings.cpp,
// number_findings.cpp and cell_findings.cpp.
#include "check/findings.h"

#include <algorithm>
#include <cstring>

namespace kelvora {

void start_findings(Findings& findings, std::FILE* out, const char* picture_path,
                    const char* list_path) {
    findings.out = out;
    findings.picture_path = picture_path;
    findings.list_path = list_path;
    findings.list_path_length = std::strlen(list_path);
    findings.drawn = nullptr;
    findings.errors = 0;
    findings.errors_hidden = 0;
    findings.palette_moved = false;
    findings.collect = nullptr;
    findings.collect_context = nullptr;
    findings.notes = 0;
    findings.notes_hidden = 0;
    findings.assemblers = DEFAULT_ASSEMBLERS;
    start_label_set(findings.labels);
    start_plain_label_set(findings.plain_labels);
    findings.have_previous = false;
    findings.previous_layout_wrong = false;
    findings.previous_left_over = false;
    findings.bad_line = 0;
    findings.previous_end = 0;
    findings.lone_cr_reported = false;
    findings.records = 0;
    std::memset(findings.colours_noted, 0, sizeof findings.colours_noted);
}

int cells_to_describe(const Findings& findings) {
    const std::int64_t left = NOTES_SHOWN - (findings.notes - findings.notes_hidden);
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, CELLS_NOTED));
}

void end_findings(Findings& findings) {
    free_label_set(findings.labels);
    free_plain_label_set(findings.plain_labels);
}

} // namespace kelvora
