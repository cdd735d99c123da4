// Fuzz target: the whole conversion. The input is a picture, then the
// separator "@@LIST@@", then the resource list (no separator: an empty list).
// The output is read back and each record's lines compared with what a fresh
// conversion puts in the stores; a record outside the grid must give its
// message instead; a second run over the same input, written in one of the
// assemblers' syntaxes (with its header where its labels are C names), must
// read back in that syntax as the same lines holding the same bytes; and a
// third, as a binary, must hold those bytes too.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "input/picture.h"
#include "readback/read_back.h"

namespace {

using namespace kelvora;
using fuzz::check;

// Reads the output back in the list's terms and compares every byte with a
// fresh conversion: the lines each record calls for, in its layout, holding
// what the stores hold after each band; a record outside the grid gives its
// message instead. Returns what was read.
read_back::Text check_conversion(const fuzz::Sheet& input,
                                 const std::vector<ResourceRecord>& records,
                                 const fuzz::Conversion& result) {
    read_back::Text text = read_back::read_text(result.output, records, DEFAULT_SYNTAX);
    Stores& stores = fuzz::zeroed_stores();
    PictureFacts facts;
    read_picture(fuzz::reader_over(input.picture), fuzz::picture_scratch(), stores.grid, facts);
    const read_back::Verdict verdict = read_back::compare(text, records, stores);
    if (!verdict.fits()) {
        fuzz::fail(("the output read back: " + verdict.describe()).c_str());
    }
    check(result.messages == read_back::expected_messages(records),
          "the messages are not one per outside record");
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Sheet input = fuzz::split_sheet(data, size);
    if (!fuzz::within_budget(input)) {
        return -1; // not worth keeping in the corpus
    }
    const fuzz::Conversion first = convert(input, DEFAULT_SYNTAX);
    if (!first.taken) {
        return 0;
    }
    const std::vector<ResourceRecord> records =
        read_back::records_of(fuzz::reader_over(input.list));
    const read_back::Text text = check_conversion(input, records, first);
    // The second run is written for an assembler picked by the input's size,
    // so every syntax gets inputs of every kind. Reading it back as the very
    // lines and bytes of the first shows both that this syntax's writer
    // means what the default's does and that the first run left nothing
    // behind, without converting the picture a third time.
    const AsmSyntax& syntax = ASSEMBLER_SYNTAXES[size % ASSEMBLER_COUNT];
    const fuzz::Conversion second = convert(input, syntax);
    const read_back::Text again = read_back::read_text(second.output, records, syntax);
    if (!again.verdict.fits()) {
        fuzz::fail(("the output for " + std::string(syntax.name) +
                    " read back: " + again.verdict.describe())
                       .c_str());
    }
    check(again.records == text.records,
          "a second conversion, in another syntax, wrote other lines or bytes");
    check(second.messages == read_back::expected_messages(records, syntax),
          "a second conversion printed other messages than one per outside record or "
          "label that is no C name");
    if (syntax.c_names) {
        const read_back::Verdict header = read_back::read_header(second.header, records, again);
        if (!header.fits()) {
            fuzz::fail(("the header read back: " + header.describe()).c_str());
        }
    }
    // The binary holds the very bytes the text says, fills as zeros.
    const fuzz::Conversion binary = convert(input, syntax, true);
    const read_back::Text bytes = read_back::read_binary(binary.output, records);
    if (!bytes.verdict.fits()) {
        fuzz::fail(("the binary read back: " + bytes.verdict.describe()).c_str());
    }
    check(bytes.records == text.records, "the binary holds other bytes than the text");
    const read_back::Verdict symbols =
        read_back::read_symbols(binary.header, records, syntax, bytes);
    if (!symbols.fits()) {
        fuzz::fail(("the symbols read back: " + symbols.describe()).c_str());
    }
    return 0;
}
