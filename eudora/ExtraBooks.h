// Which files of a Eudora data folder are address books.
//
// The main book is NNdbase.txt, or NNdbase.nnt when that is absent (Eudora's "hide address books
// from simple viruses" option renames the files). Every *.txt and *.nnt file of the data folder's
// Nickname subfolder is a further book, shown under its file name. Names are matched without
// regard to case, as on Windows.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelle::eudora {

struct ExtraBook {
    std::string fileName;    // as listed, inside the Nickname subfolder
    std::string folderName;  // the contacts folder it goes into
};

struct BookFiles {
    std::optional<std::string> mainBook;  // file name in the data folder, as listed
    std::vector<ExtraBook> extraBooks;    // sorted by file name (byte order), as Eudora looks up
};

// The name of the default contacts folder the extra books' folders stand beside.
inline constexpr const char* kDefaultContactsFolderName = "Contacts";
// The subfolder of the data folder that holds the extra books.
inline constexpr const char* kNicknameFolderName = "Nickname";

// True for the main book's file name: NNdbase.txt or NNdbase.nnt, in any case.
bool IsMainBookName(std::string_view fileName);

// Pure choice over file names: `dataFolderFiles` are the names of the files in the data folder,
// `nicknameFolderFiles` those in its Nickname subfolder. A folder name is the file name without
// its extension, with " (2)", " (3)", ... added when "Contacts" or an earlier book took it.
BookFiles ChooseBookFiles(const std::vector<std::string>& dataFolderFiles,
                          const std::vector<std::string>& nicknameFolderFiles);

// Lists the regular files of `dataFolder` and of its Nickname subfolder (found without regard to
// case) and chooses among them. A missing or unreadable folder lists as empty.
BookFiles FindBookFiles(const std::filesystem::path& dataFolder);

}  // namespace tarvelle::eudora
