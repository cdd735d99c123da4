// A record's label against the labels of the records before it: given
// twice (in any case, where an assembler checked reads names so), and for
// a C program built with sdcc, a label that is no C name, or a name that
// sdcc or its header gives one record and that is another's label.
#include "check/findings.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "check/finding_line.h"
#include "model/forms.h"

namespace kelvora {
namespace {

// The labels given so far are kept by the hashed set or, in a build of the
// plain forms, by its twin of whole labels. A name sdcc's header gives is
// kept beside them apart: its hash salted, its text after a NUL (which no
// label holds).
constexpr std::uint64_t HEADER_NAME_SALT = 0x9e3779b97f4a7c15u;

std::string plain_key(std::string_view name, bool header_name) {
    return header_name ? std::string(1, '\0').append(name) : std::string(name);
}

bool find_given(const Findings& findings, std::string_view name, bool header_name,
                std::int64_t& line) {
    if (!USE_FAST_FORMS) {
        const auto found = findings.plain_labels.lines.find(plain_key(name, header_name));
        line = found != findings.plain_labels.lines.end() ? found->second : line;
        return found != findings.plain_labels.lines.end();
    }
    const std::uint64_t hash = label_hash(name.data(), name.size());
    return find_label(findings.labels, header_name ? hash ^ HEADER_NAME_SALT : hash, line);
}

// Adds the name; `hash` is its label_hash, worked out already.
LabelLookup add_given(Findings& findings, std::string_view name, std::uint64_t hash,
                      bool header_name, std::int64_t at_line, std::int64_t& line) {
    if (!USE_FAST_FORMS) {
        return add_plain_label(findings.plain_labels, plain_key(name, header_name), at_line, line);
    }
    return add_label(findings.labels, header_name ? hash ^ HEADER_NAME_SALT : hash, at_line, line);
}

void note_label_set_full(Findings& findings, std::int64_t line) {
    if (!show_note(findings)) {
        return;
    }
    Line& text = begin_list_line(findings, FindingKind::LabelsFull, line);
    put(text, "the check keeps the first ");
    put(text, static_cast<std::int64_t>(USE_FAST_FORMS ? findings.labels.labels
                                                       : findings.plain_labels.lines.size()));
    put(text, " labels only: from this record on, a label is checked against those, but "
              "not against the labels after them");
    finish(findings, text);
}

// An assembler checked that reads "ship" and "Ship" as one name; null for
// none.
const AsmSyntax* folding_case(const Findings& findings) {
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        if ((findings.assemblers & assembler_set(syntax)) != 0 && name_rules(syntax).folds_case) {
            return &syntax;
        }
    }
    return nullptr;
}

void check_duplicate(Findings& findings, const ResourceRecord& record, std::uint64_t hash,
                     std::int64_t line) {
    // Where names are one whatever their case, labels are kept in lower case.
    const AsmSyntax* const folded = folding_case(findings);
    char lower[TOKEN_BUFFER_SIZE];
    std::string_view kept(record.name, record.label_length);
    if (folded != nullptr) {
        for (int i = 0; i < record.label_length; ++i) {
            const char c = record.name[i];
            lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        hash = label_hash(lower, record.label_length);
        kept = std::string_view(lower, record.label_length);
    }
    std::int64_t earlier = 0;
    const LabelLookup lookup = add_given(findings, kept, hash, false, line, earlier);
    switch (lookup) {
    case LabelLookup::Added:
    case LabelLookup::New:
        return;
    case LabelLookup::Taken: {
        Line* const begun = begin_list_error(findings, FindingKind::LabelTaken, line);
        if (begun == nullptr) {
            return;
        }
        Line& text = *begun;
        // Named after its line, so that no two renamed labels meet.
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "_%" PRId64, line);
        set_name_remedy(findings, "", record.name, record.label_length, false, suffix);
        put(text, "the label \"");
        put_shown(text, record.name, record.label_length);
        put(text, "\" is taken already, on line ");
        put(text, earlier);
        if (folded != nullptr) {
            put(text, " (");
            put_text(text, folded->title);
            put(text, " reads names without regard to case)");
        }
        put(text, ", and the assembler will not take it twice; rename one of them, this one to ");
        put_new_name(text, findings);
        put(text, " say");
        finish(findings, text);
        return;
    }
    case LabelLookup::NowFull:
        note_label_set_full(findings, line);
        return;
    }
}

// The names sdcc's header gives a record besides its own, and what each
// names; the ones a record's kind does not write are left out.
struct HeaderName {
    const char* suffix;
    const char* what;
};

constexpr HeaderName HEADER_NAMES[] = {
    {"_BYTES", "the bytes"},
    {"_WIDTH", "the width"},
    {"_HEIGHT", "the height"},
    {"_PAGE_ALIGNED", "the page alignment"},
};

bool header_writes(const HeaderName& name, const RecordLayout& layout) {
    const std::string_view suffix = name.suffix;
    if (suffix == "_WIDTH" || suffix == "_HEIGHT") {
        return layout.size_byte_count == 2;
    }
    return suffix != "_PAGE_ALIGNED" || layout.page_aligned;
}

void put_c_name_trouble(Line& text, std::string_view label) {
    const bool identifier = !label.empty() && !is_digit(label[0]) &&
                            std::all_of(label.begin(), label.end(),
                                        [](char c) { return is_label_character(c) && c != '.'; });
    if (!identifier) {
        put(text, "a C name has only letters, digits and \"_\", and no digit first");
    } else if (label[0] == '_' && label.size() > 1 &&
               (label[1] == '_' || (label[1] >= 'A' && label[1] <= 'Z'))) {
        put(text, "C keeps names that start with \"__\", or \"_\" and a capital, for the compiler");
    } else {
        put(text, "it is a keyword of C");
    }
}

// For a C program built with sdcc: a label that is no C name, which sdcc's
// header leaves out, and a name that sdcc or its header gives one record and
// is another's label.
void check_c_names(Findings& findings, const ResourceRecord& record, const RecordLayout& layout,
                   std::int64_t line) {
    const std::string_view label(record.name, record.label_length);
    char name[TOKEN_BUFFER_SIZE + 16];
    std::int64_t earlier = 0;
    if (!is_c_name(label)) {
        if (Line* const begun = begin_list_error(findings, FindingKind::NotCName, line)) {
            Line& text = *begun;
            put(text, "the label \"");
            put_shown(text, record.name, record.label_length);
            put(text, "\" is no C name: ");
            put_c_name_trouble(text, label);
            put(text, "; sdcc's header leaves it out and a C program cannot reach the record; "
                      "rename it");
            finish(findings, text);
        }
        // sdcc writes it as it is, where a C name M is written "_M".
        const std::string_view rest = label.substr(label.empty() ? 0 : 1);
        if (label.size() > 1 && label[0] == '_' && is_c_name(rest) &&
            find_given(findings, rest, false, earlier)) {
            list_error(findings, FindingKind::CNameTaken, line,
                       "the label \"%.*s\" is also the name sdcc gives the label \"%.*s\", on "
                       "line %lld; rename one of them",
                       static_cast<int>(label.size()), label.data(), static_cast<int>(rest.size()),
                       rest.data(), static_cast<long long>(earlier));
        }
        return;
    }
    name[0] = '_';
    label.copy(name + 1, label.size());
    if (!is_c_name(std::string_view(name, label.size() + 1)) &&
        find_given(findings, std::string_view(name, label.size() + 1), false, earlier)) {
        list_error(findings, FindingKind::CNameTaken, line,
                   "sdcc gives the label \"%.*s\" the name \"_%.*s\", which is also the label on "
                   "line %lld; rename one of them",
                   static_cast<int>(label.size()), label.data(), static_cast<int>(label.size()),
                   label.data(), static_cast<long long>(earlier));
    }
    if (find_given(findings, label, true, earlier)) {
        list_error(findings, FindingKind::CNameTaken, line,
                   "the label \"%.*s\" is also a name sdcc's header gives the record on line "
                   "%lld; rename one of them",
                   static_cast<int>(label.size()), label.data(), static_cast<long long>(earlier));
    }
    for (const HeaderName& header_name : HEADER_NAMES) {
        if (!header_writes(header_name, layout)) {
            continue;
        }
        const std::size_t length = label.size() + std::strlen(header_name.suffix);
        label.copy(name, label.size());
        std::memcpy(name + label.size(), header_name.suffix, std::strlen(header_name.suffix));
        const std::string_view header_name_text(name, length);
        if (find_given(findings, header_name_text, false, earlier)) {
            list_error(findings, FindingKind::CNameTaken, line,
                       "sdcc's header names %s of \"%.*s\" \"%.*s\", which is also the label on "
                       "line %lld; rename one of them",
                       header_name.what, static_cast<int>(label.size()), label.data(),
                       static_cast<int>(length), name, static_cast<long long>(earlier));
        }
        // Kept like a label, and counted so: the set's room is the labels'.
        std::int64_t ignored = 0;
        if (add_given(findings, header_name_text, label_hash(name, length), true, line, ignored) ==
            LabelLookup::NowFull) {
            note_label_set_full(findings, line);
        }
    }
}

// The assemblers whose labels are a C program's names: sdcc's.
constexpr AssemblerSet C_NAME_ASSEMBLERS = [] {
    AssemblerSet set = 0;
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        set |= syntax.c_names ? assembler_set(syntax) : 0;
    }
    return set;
}();
static_assert(C_NAME_ASSEMBLERS == assembler_set(*find_assembler("sdcc")),
              "the words of check_c_names name sdcc");

} // namespace

void find_label_errors(Findings& findings, const ResourceRecord& record, const RecordLayout& layout,
                       std::uint64_t label_hash, std::int64_t line) {
    check_duplicate(findings, record, label_hash, line);
    if ((findings.assemblers & C_NAME_ASSEMBLERS) != 0) {
        check_c_names(findings, record, layout, line);
    }
}

} // namespace kelvora
