// Writing recipes to the two text exchange formats the import reads back: the Meal-Master
// layout ("MMMMM----- Recipe via Meal-Master") and the MasterCook column text layout, the
// ingredient block in each format's own columns. Each recipe is laid out in UTF-8 and
// converted to the chosen encoding as a whole, so a file never holds half a recipe. Recipes
// that cannot be written, and recipes whose read-back will differ, are named in the result.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace larderly::exchange {

enum class ExportFormat { MealMaster, MasterCookText };
enum class ExportEncoding { Utf8, Windows1252, Cp437 };

// "mmf" / "mxp"; false for any other name.
bool ParseExportFormat(std::string_view name, ExportFormat& format);
// The name ParseExportFormat reads, which is also the file's usual extension.
const char* ExportFormatName(ExportFormat format);
// "utf-8" (or "utf8"), "cp1252" (or "windows-1252"), "cp437"; false for any other name.
bool ParseExportEncoding(std::string_view name, ExportEncoding& encoding);
// The first name ParseExportEncoding reads: "utf-8", "cp1252", "cp437".
const char* ExportEncodingName(ExportEncoding encoding);
// The name shown to the user: "UTF-8", "Windows-1252", "code page 437".
std::string EncodingDisplayName(ExportEncoding encoding);

// One recipe as the export sees it: its category names in slot order (empty slots left
// out) and its text lines.
struct ExportRecipe {
    int32_t Id = -1;
    std::string Title;
    std::vector<std::string> Categories;
    std::vector<std::string> Text;
};

// A recipe named in the result: not written at all, or written with a difference that a
// read-back will show.
struct ExportNote {
    int32_t Id = -1;
    std::string Title;
    bool Written = true;
    std::string Reason;
};

struct ExportResult {
    std::size_t Written = 0;
    std::vector<ExportNote> Notes;
    std::size_t NotWritten() const;
    // The recipes written with a difference a read-back will show (each counted once).
    std::size_t WrittenChanged() const;
};

// The lines of one recipe in the format, in UTF-8, without line ends. Differences a read-back
// will show are appended to `notes` (as reasons).
std::vector<std::string> LayOutRecipe(const ExportRecipe& recipe, ExportFormat format,
                                      std::vector<std::string>& notes);

// Converts UTF-8 text to the encoding. On a character the encoding lacks, returns false and
// names that character in `problem`.
bool EncodeText(std::string_view utf8, ExportEncoding encoding, std::string& out,
                std::string& problem);

// Writes every recipe that can be written to `out`, lines ending in CR LF; `step` (when set)
// is called once per recipe. A character the encoding lacks is written as its nearest ASCII
// (’ as ', – as -, ® as (R)) and the recipe named in the notes; with `strict` such a recipe
// is left out instead.
ExportResult WriteRecipes(std::ostream& out, const std::vector<ExportRecipe>& recipes,
                          ExportFormat format, ExportEncoding encoding,
                          const std::function<void()>& step = {}, bool strict = false);

// Writes the recipes into `path` through a temporary file beside it that replaces the file
// only once everything is on disk. When recipes were given and none of them could be
// written, no file is made and an existing one is left as it was. Raises std::runtime_error
// naming the file and the reason on failure; the file is then left as it was.
ExportResult ExportToFile(const std::string& path, const std::vector<ExportRecipe>& recipes,
                          ExportFormat format, ExportEncoding encoding,
                          const std::function<void()>& step = {}, bool strict = false);

} // namespace larderly::exchange
