#include "eudora/ExtraBooks.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "eudora/Book.h"

namespace tarvelle::eudora {

namespace {

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) {
    return name.size() >= suffix.size() &&
           LowerAscii(name.substr(name.size() - suffix.size())) == suffix;
}

std::optional<std::string> FindIgnoringCase(const std::vector<std::string>& names,
                                            std::string_view wanted) {
    const std::string lowered = LowerAscii(wanted);
    const auto it = std::find_if(names.begin(), names.end(),
                                 [&](const std::string& n) { return LowerAscii(n) == lowered; });
    if (it == names.end()) return std::nullopt;
    return *it;
}

// File names as UTF-8 on every system (path::string() is the ANSI code page on Windows).
std::string Utf8Name(const std::filesystem::path& path) {
    const std::u8string text = path.filename().u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::string> ListFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_regular_file(typeEc)) names.push_back(Utf8Name(it->path()));
    }
    return names;
}

}  // namespace

bool IsMainBookName(std::string_view fileName) {
    const std::string lowered = LowerAscii(fileName);
    return lowered == "nndbase.txt" || lowered == "nndbase.nnt";
}

BookFiles ChooseBookFiles(const std::vector<std::string>& dataFolderFiles,
                          const std::vector<std::string>& nicknameFolderFiles) {
    BookFiles result;
    result.mainBook = FindIgnoringCase(dataFolderFiles, "NNdbase.txt");
    if (!result.mainBook) result.mainBook = FindIgnoringCase(dataFolderFiles, "NNdbase.nnt");

    std::vector<std::string> books;
    for (const std::string& name : nicknameFolderFiles) {
        const bool bookExtension =
            EndsWithIgnoringCase(name, ".txt") || EndsWithIgnoringCase(name, ".nnt");
        // The quick-recipient list is a list of nicknames, not a book.
        if (bookExtension && LowerAscii(name) != "rcpdbase.txt") books.push_back(name);
    }
    std::sort(books.begin(), books.end());

    std::set<std::string> taken = {FoldNickname(kDefaultContactsFolderName)};
    for (const std::string& fileName : books) {
        std::string stem = fileName.substr(0, fileName.size() - 4);
        if (stem.empty()) stem = fileName;
        std::string folderName = stem;
        for (int n = 2; taken.contains(FoldNickname(folderName)); ++n) {
            folderName = stem + " (" + std::to_string(n) + ")";
        }
        taken.insert(FoldNickname(folderName));
        result.extraBooks.push_back(ExtraBook{fileName, folderName});
    }
    return result;
}

BookFiles FindBookFiles(const std::filesystem::path& dataFolder) {
    std::vector<std::string> nicknameFiles;
    std::error_code ec;
    std::filesystem::directory_iterator it(dataFolder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_directory(typeEc) &&
            LowerAscii(Utf8Name(it->path())) == LowerAscii(kNicknameFolderName)) {
            nicknameFiles = ListFiles(it->path());
            break;
        }
    }
    return ChooseBookFiles(ListFiles(dataFolder), nicknameFiles);
}

}  // namespace tarvelle::eudora
