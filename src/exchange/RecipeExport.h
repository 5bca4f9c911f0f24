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

struct ExportRecipe;

// One export format, declared once: everything the command line, the Export window, the
// settings file and the writer need to know of it. Every ExportFormat value has one entry
// in ExportFormats(); a further format is a value, its layout function and its entry.
struct ExportFormatInfo {
    ExportFormat Format;
    const char* Id;           // "mmf": the name --format and the settings file take
    const char* Extension;    // "mmf": the file's usual extension, without the dot
    const char* ChoiceName;   // "Meal-Master": how the Export window and the help name it
    const char* FileTypeName; // "Meal-Master File": the save dialog's file type
    // The lines of one recipe in the format, in UTF-8, without line ends; differences a
    // read-back will show are appended to `notes` (as reasons).
    std::vector<std::string> (*LayOut)(const ExportRecipe& recipe, std::vector<std::string>& notes);
    // The encodings a file of the format may be written in.
    std::vector<ExportEncoding> Encodings;
};

// One encoding an export may be written in.
struct ExportEncodingInfo {
    ExportEncoding Encoding;
    const char* Id;          // "cp1252": the name --encoding and the settings file take
    const char* Alias;       // "windows-1252": another name read for it
    const char* IconvName;   // "CP1252"
    const char* DisplayName; // "Windows-1252": the name shown to the user
};

// Every export format, in the order they are offered; the first is the default.
const std::vector<ExportFormatInfo>& ExportFormats();
// Every encoding, in the order they are offered; the first (UTF-8) is the default.
const std::vector<ExportEncodingInfo>& ExportEncodings();
// The entry of a format or an encoding.
const ExportFormatInfo& FormatInfo(ExportFormat format);
const ExportEncodingInfo& EncodingInfo(ExportEncoding encoding);
// Whether a file of the format may be written in the encoding.
bool FormatTakesEncoding(ExportFormat format, ExportEncoding encoding);

// The format whose entry has the id `name` ("mmf" / "mxp"); false for any other name.
bool ParseExportFormat(std::string_view name, ExportFormat& format);
// The name ParseExportFormat reads ("mmf").
const char* ExportFormatName(ExportFormat format);
// "utf-8" (or "utf8"), "cp1252" (or "windows-1252"), "cp437" (or "ibm437"), letter case
// ignored; false for any other name.
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
