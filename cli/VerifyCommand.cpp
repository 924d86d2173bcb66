#include "cli/VerifyCommand.h"

#include <exception>
#include <string_view>

#include "export/ShownText.h"
#include "platform/NativePath.h"
#include "pst/verify/JsonDump.h"
#include "pst/verify/Verify.h"

namespace tarvelle::cli {

namespace {

constexpr std::string_view kProgramName = "tarvelle-verify";

void PrintFindings(const pst::verify::Report& report, const std::string& path, std::ostream& to) {
    for (const auto& finding : report.Findings()) to << finding.ToString() << '\n';
    if (report.Dropped() > 0) to << "(" << report.Dropped() << " more findings not listed)\n";
    to << report.Summary(exporter::ShownPath(path)) << '\n';
}

}  // namespace

std::string VerifyUsageText() {
    return R"usage(Usage: tarvelle-verify [--dump] FILE.pst
       tarvelle-verify --help

Checks an Outlook data file in the Unicode PST format, one written by tarvelle-export or by
Outlook, from its header to the members of its distribution lists: both CRCs and every page and
block (type, signature, CRC, BID), the node and block B-trees, reference counts, the allocation
maps, every heap, BTH, property context and table context, the name-to-ID map, the folder
hierarchy with its tables, the items, and the list members (items of the store or one-off
addresses).

Each defect is one line, "error: WHERE: text" or "warning: WHERE: text", WHERE being a node
("NID 0x21"), a block ("BID 0x1A4"), a place in the file ("offset 0x4400") or the header. A
summary line follows:
  FILE.pst: 7 folders, 12 contacts, 4 lists, 31 members, 0 errors, 0 warnings
Warnings name what readers tolerate (space marked allocated but unused, allocation maps marked
for rebuilding, leaked blocks); errors name what breaks the file or its contents.

  --dump   Print the folders and items with all their properties as JSON on stdout (the
           findings and the summary then go to stderr). The document:
             {"store": {"displayName", "recordKey"},
              "folders": [{"nid", "parent", "search", "name", "containerClass",
                           "contentCount", "properties"}],
              "items": [{"nid", "folder", "associated", "class", "properties",
                         "members": [{"kind": "one-off"|"item"|"other", "item",
                                      "displayName", "addressType", "address", "entryId"}]}],
              "summary": {"folders", "contacts", "lists", "members", "errors", "warnings"}}
           A property is {"tag": "0x3001001F", "type": "String", "value": ...}, with "set"
           (the property set's GUID) and "lid" or "name" for named properties. Integers are
           numbers, text is text, times are "YYYY-MM-DDThh:mm:ss.fffffffZ", binary is hex.
           NIDs are hex strings; objects and properties come in ascending order.
  --help   Show this text.

Exit status:
  0  no errors (there may be warnings)
  1  the file has errors
  2  usage error, the file cannot be read, or it is not a Unicode PST file (an ANSI file of
     Outlook 97-2002 is refused with "not a Unicode PST file")
)usage";
}

int RunVerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool dump = false;
    std::string file;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << VerifyUsageText();
            return kVerifyClean;
        }
        if (arg == "--dump") {
            dump = true;
        } else if (!arg.empty() && arg[0] == '-') {
            err << kProgramName << ": unknown option " << arg << "\nTry '" << kProgramName
                << " --help' for more information.\n";
            return kVerifyRefused;
        } else if (!file.empty()) {
            err << kProgramName << ": one file at a time\nTry '" << kProgramName
                << " --help' for more information.\n";
            return kVerifyRefused;
        } else {
            file = arg;
        }
    }
    if (file.empty()) {
        err << kProgramName << ": no file given\nTry '" << kProgramName
            << " --help' for more information.\n";
        return kVerifyRefused;
    }
    try {
        pst::verify::JsonDump json(out);
        const pst::verify::Report report =
            pst::verify::Verify(platform::PathFromUtf8(file), dump ? &json : nullptr);
        if (dump) json.Finish(report);
        PrintFindings(report, file, dump ? err : out);
        return report.Errors() == 0 ? kVerifyClean : kVerifyDefects;
    } catch (const pst::verify::ReadError& e) {
        err << exporter::ShownPath(file) << ": " << e.what() << '\n';
        return kVerifyRefused;
    } catch (const std::exception& e) {
        err << kProgramName << ": unexpected error: " << e.what() << '\n';
        return kVerifyRefused;
    }
}

bool VerifyWrittenFile(const std::string& path, std::ostream& err) {
    try {
        const pst::verify::Report report = pst::verify::Verify(platform::PathFromUtf8(path));
        PrintFindings(report, path, err);
        return report.Errors() == 0;
    } catch (const std::exception& e) {
        err << exporter::ShownPath(path) << ": " << e.what() << '\n';
        return false;
    }
}

}  // namespace tarvelle::cli
