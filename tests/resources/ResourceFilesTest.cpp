// Checks the resource files as they are laid out beside the built module: the two string tables
// (every key the plug-in looks up, in the right table, in a form the host can read, with exactly
// the placeholders the plug-in fills in) and the pictures (real PNG files of a usable size).

#include "tests/support/TestEnvironment.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const kResourceFolder = "OmbrelTideLinkForVectorworks";

const std::vector<std::string> kMenuKeys = {"menuexport_title", "menuexport_category",
                                            "menuexport_help"};

const std::vector<std::string> kToolKeys = {
    "tool_title", "tool_category", "tool_help",
    // mode-bar tips (three of them also label the view pane)
    "tool_about", "tool_start", "tool_stop", "tool_resume", "tool_camera_start",
    "tool_camera_stop", "tool_camera_idle", "tool_camera_resume", "tool_settings", "tool_save",
    "tool_version_tip",
    // mode-bar help
    "tool_about_help", "tool_start_help", "tool_stop_help", "tool_resume_help",
    "tool_camera_start_help", "tool_camera_stop_help", "tool_camera_idle_help",
    "tool_camera_resume_help", "tool_settings_help", "tool_save_help", "tool_version_help",
    // status messages
    "status_tl_initializing", "status_tl_started", "status_tl_stopped", "status_tl_disconnected",
    "status_tl_paused", "status_tl_resumed", "status_cam_started", "status_cam_stopped",
    "status_cam_resumed", "status_cam_paused",
    // link messages
    "dlg_title_save_first", "dlg_msg_save_first", "dlg_title_sheet_layer",
    "dlg_msg_sheet_layer_init", "dlg_msg_sheet_layer_resume", "dlg_msg_sheet_layer_cam_resume",
    "dlg_title_material_warning", "dlg_msg_material_warning", "dlg_title_version_warning",
    "dlg_msg_version_warning", "dlg_title_already_open", "dlg_msg_already_open",
    "dlg_title_old_version", "dlg_msg_old_version", "dlg_title_not_running",
    "dlg_msg_not_running", "dlg_msg_wrong_running",
    // export messages
    "dlg_title_perspective_view", "dlg_msg_perspective_view_export", "dlg_title_export_complete",
    "dlg_msg_export_complete", "dlg_title_export_failed", "dlg_msg_export_failed",
    "dlg_title_export_not_written", "dlg_msg_export_not_written", "dlg_msg_export_write_reason",
    "dlg_title_export_canceled", "dlg_msg_export_canceled", "dlg_title_export",
    "dae_export_dae_files", "dae_export_all_files",
    // dialogs
    "dlg_title_about", "dlg_about_label_support", "dlg_about_label_download",
    "dlg_title_settings", "dlg_settings_camera_sync", "dlg_settings_camera_sync_tip",
    "dlg_settings_repair_mode", "dlg_settings_repair_mode_tip",
    "dlg_settings_optimize_geometries", "dlg_settings_optimize_geometries_tip",
    "dlg_export_progress_title", "dlg_export_progress_label_wait", "dlg_export_progress_geometry",
    "dlg_export_progress_textures", "dlg_export_progress_writing"};

// Texts that the plug-in uses as a format with one text value (the version, a name or a path).
const std::vector<std::string> kOneValueTexts = {"tool_about_help",       "dlg_msg_already_open",
                                                 "dlg_msg_old_version",   "dlg_msg_not_running",
                                                 "dlg_msg_export_complete", "dlg_msg_export_failed",
                                                 "dlg_msg_export_not_written", "dlg_msg_export_write_reason"};

struct StringTable {
  std::map<std::string, std::string> texts;
  std::vector<std::string> problems;
};

// Reads a quoted text starting at line[pos] and decodes \" \\ \n; pos ends after the closing quote.
bool ReadQuoted(const std::string& line, size_t& pos, std::string& out, std::string& problem) {
  if (pos >= line.size() || line[pos] != '"') {
    problem = "expected a quote at column " + std::to_string(pos + 1);
    return false;
  }
  for (size_t i = pos + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      pos = i + 1;
      return true;
    }
    if (c == '\\') {
      char next = i + 1 < line.size() ? line[i + 1] : '\0';
      if (next == '"' || next == '\\') {
        out += next;
      } else if (next == 'n') {
        out += '\n';
      } else {
        problem = "unknown escape at column " + std::to_string(i + 1);
        return false;
      }
      ++i;
    } else {
      out += c;
    }
  }
  problem = "text not closed";
  return false;
}

void SkipBlanks(const std::string& line, size_t& pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

// Lines are blank, "//" comments or `"key" = "text";`.
StringTable ParseTable(const std::string& content) {
  StringTable table;
  size_t start = 0;
  for (int number = 1; start <= content.size(); ++number) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();

    size_t pos = 0;
    SkipBlanks(line, pos);
    if (pos == line.size() || line.compare(pos, 2, "//") == 0) continue;

    std::string key, text, problem;
    bool ok = ReadQuoted(line, pos, key, problem);
    if (ok) {
      SkipBlanks(line, pos);
      ok = pos < line.size() && line[pos++] == '=';
      if (!ok) problem = "expected '=' after the key";
    }
    if (ok) {
      SkipBlanks(line, pos);
      ok = ReadQuoted(line, pos, text, problem);
    }
    if (ok) {
      SkipBlanks(line, pos);
      ok = pos < line.size() && line[pos++] == ';';
      if (!ok) problem = "expected ';' after the text";
    }
    if (ok) {
      SkipBlanks(line, pos);
      ok = pos == line.size();
      if (!ok) problem = "unexpected characters after ';'";
    }
    if (ok && key.empty()) {
      ok = false;
      problem = "empty key";
    }
    if (ok && !table.texts.emplace(key, text).second) {
      ok = false;
      problem = "duplicate key \"" + key + "\"";
    }
    if (!ok) table.problems.push_back("line " + std::to_string(number) + ": " + problem);
  }
  return table;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

struct PngHeader {
  bool valid = false;
  std::string problem;
  uint32_t width = 0;
  uint32_t height = 0;
  int colourType = -1;
};

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
         (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
}

// Signature, a leading IHDR chunk with a valid depth and colour type, and a closing IEND chunk.
PngHeader ReadPngHeader(const std::string& bytes) {
  static const std::string kSignature("\x89PNG\r\n\x1a\n", 8);
  static const std::string kEnd("\0\0\0\0IEND\xae\x42\x60\x82", 12);
  PngHeader header;
  if (bytes.size() < 8 + 25 + 12 || bytes.compare(0, 8, kSignature) != 0) {
    header.problem = "no PNG signature";
  } else if (BigEndian32(bytes, 8) != 13 || bytes.compare(12, 4, "IHDR") != 0) {
    header.problem = "first chunk is not a 13-byte IHDR";
  } else if (bytes.compare(bytes.size() - 12, 12, kEnd) != 0) {
    header.problem = "does not end with IEND (cut short?)";
  } else {
    header.width = BigEndian32(bytes, 16);
    header.height = BigEndian32(bytes, 20);
    int depth = uint8_t(bytes[24]);
    header.colourType = uint8_t(bytes[25]);
    bool depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    bool typeOk = header.colourType == 0 || header.colourType == 2 || header.colourType == 3 ||
                  header.colourType == 4 || header.colourType == 6;
    header.valid = depthOk && typeOk;
    if (!header.valid) header.problem = "bad bit depth or colour type";
  }
  return header;
}

class ResourceFilesTest : public TestEnvironment {
protected:
  static std::filesystem::path ResourceFolder() {
    return binaryDirectory() / kResourceFolder;
  }

  static StringTable LoadTable(const std::string& name) {
    std::filesystem::path path = ResourceFolder() / "Strings" / (name + ".vwstrings");
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
    StringTable table = ParseTable(ReadFile(path));
    for (const std::string& problem : table.problems) ADD_FAILURE() << name << ", " << problem;
    return table;
  }

  static PngHeader LoadPng(const std::filesystem::path& path) {
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
    PngHeader header = ReadPngHeader(ReadFile(path));
    EXPECT_TRUE(header.valid) << path << ": " << header.problem;
    return header;
  }
};

TEST_F(ResourceFilesTest, StringTablesAreWellFormedAndHoldEveryKeyInItsTable) {
  const std::map<std::string, std::vector<std::string>> required = {{"TideLinkTool", kToolKeys},
                                                                    {"TideLinkMenu", kMenuKeys}};
  for (const auto& [name, keys] : required) {
    StringTable table = LoadTable(name);
    for (const std::string& key : keys) {
      auto found = table.texts.find(key);
      if (found == table.texts.end()) {
        ADD_FAILURE() << name << " lacks \"" << key << "\"";
      } else {
        EXPECT_FALSE(found->second.empty()) << name << " has an empty \"" << key << "\"";
      }
    }
  }
}

TEST_F(ResourceFilesTest, TextsFitTheWayThePlugInShowsThem) {
  std::map<std::string, std::string> all = LoadTable("TideLinkTool").texts;
  all.merge(LoadTable("TideLinkMenu").texts);
  ASSERT_FALSE(all.empty());

  // Format strings get exactly one text value; every other text is shown or used as a format
  // as it stands (titles go into a caption format), so a stray '%' would be misread.
  for (const auto& [key, text] : all) {
    bool oneValue = std::find(kOneValueTexts.begin(), kOneValueTexts.end(), key) !=
                    kOneValueTexts.end();
    if (oneValue) {
      EXPECT_TRUE(Count(text, "%") == 1 && Count(text, "%s") == 1)
          << "\"" << key << "\" needs exactly one %s and no other '%': " << text;
    } else {
      EXPECT_EQ(Count(text, "%"), 0u) << "\"" << key << "\" must not contain '%': " << text;
    }
  }

  // The file-dialog filter is built as "dae|*.dae|all|*.*||" and split at every '|'.
  EXPECT_EQ(Count(all["dae_export_dae_files"], "|"), 0u);
  EXPECT_EQ(Count(all["dae_export_all_files"], "|"), 0u);

  // These are shown with Yes and No buttons, so they must ask.
  for (const char* key : {"dlg_msg_old_version", "dlg_msg_not_running", "dlg_msg_wrong_running"}) {
    const std::string& text = all[key];
    EXPECT_TRUE(!text.empty() && text.back() == '?') << "\"" << key << "\" is not a question";
  }
}

// A status shown for several causes must be true of each. The link ends so for a closed or
// re-saved drawing, the end of the host's stream, the renderer closing it and the user's own
// "Save as COLLADA"; the camera pauses for another drawing, pane, layer or projection.
TEST_F(ResourceFilesTest, StatusesShownForSeveralCausesClaimNoSingleOne) {
  const std::map<std::string, std::string> texts = LoadTable("TideLinkTool").texts;
  ASSERT_TRUE(texts.count("status_tl_disconnected") && texts.count("status_cam_paused"));
  const std::string& ended = texts.at("status_tl_disconnected");
  for (const char* cause : {"disconnect", "closed", "saved", "export", "COLLADA", "Ombrel closed"}) {
    EXPECT_EQ(ended.find(cause), std::string::npos) << "blames \"" << cause << "\": " << ended;
  }
  EXPECT_NE(texts.at("status_cam_paused").find("drawing"), std::string::npos)
      << "a switch to another drawing pauses the camera too";
}

TEST_F(ResourceFilesTest, PicturesArePngFilesOfAUsableSize) {
  const std::vector<std::string> images = {
      "about.png",        "start.png",       "stop.png",      "resume.png",
      "camera_start.png", "camera_stop.png", "settings.png",  "save.png",
      "version.png",      "label_about.png", "label_camera_start.png", "label_camera_stop.png"};
  for (const std::string& name : images) {
    PngHeader header = LoadPng(ResourceFolder() / "Images" / name);
    if (!header.valid) continue;
    EXPECT_TRUE(header.width >= 8 && header.width <= 64 && header.height >= 8 &&
                header.height <= 64)
        << name << " is " << header.width << " x " << header.height;
  }

  // The About dialog uses picture 107 unscaled only at 440 x 560 and expects 24-bit colour.
  PngHeader about = LoadPng(binaryDirectory() / "about_107.png");
  EXPECT_EQ(about.width, 440u);
  EXPECT_EQ(about.height, 560u);
  EXPECT_EQ(about.colourType, 2) << "about_107.png should be RGB without alpha";

  PngHeader icon = LoadPng(binaryDirectory() / "icon_110.png");
  EXPECT_EQ(icon.width, 32u);
  EXPECT_EQ(icon.height, 32u);
}

}  // namespace
