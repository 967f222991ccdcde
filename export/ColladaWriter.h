#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "transport/ExportNodeWriter.h"

class TextModeFile;

// Writes the nodes of one export as a COLLADA 1.4.1 file, fragment by fragment, with the texture
// images copied or encoded into the folder "<name>_Textures" beside it. The file carries the
// renderer's own <extra> entries (profile "OMBREL") and, with exportNodes, an invisible marker
// geometry placed once per instance transform.
//
// Use: construct, AddNode (from any number of threads), Write once on one thread. Nodes are
// written in the order in which they were added. Numbers are written in the classic locale
// whatever the process locale.
class ColladaWriter final : public ExportNodeWriter {
public:
  explicit ColladaWriter(ColladaExportOptions options);

  const ColladaExportOptions& options() const override;
  void AddNode(std::unique_ptr<ExportNode> node) override;
  // Empty path: false, nothing done. A file that cannot be opened: false, nothing written or
  // deleted. A failure while writing (an exception, a failed write such as a full disk): the
  // partial file is deleted if it is a regular file, so are the texture files this write made and
  // the textures folder when this write created it, and false. A texture that cannot be written
  // only loses its image element. Afterwards the nodes are gone, whatever the outcome. An
  // exception thrown by the progress callback at its first call propagates.
  bool Write() override;
  // Why the last Write gave false, in the system's words ("No space left on device"); empty
  // before a Write and after one that succeeded.
  const std::string& failureReason() const { return failureReason_; }

private:
  enum class Outcome { kWritten, kNotOpened, kFailed };

  Outcome WriteFile();
  void WriteDocument(TextModeFile& file);
  void WriteAsset(TextModeFile& file) const;
  void WriteImages(TextModeFile& file);
  using NodeWriter = void (*)(TextModeFile& file, const ExportNode& node);
  // <element> with one entry per node, then the marker's entry when markers are exported.
  void WriteLibrary(TextModeFile& file, std::string_view element, NodeWriter writeNode,
                    std::string_view marker) const;
  void WriteScene(TextModeFile& file) const;
  void WriteMarkerNodes(TextModeFile& file) const;
  void ReportProgress(int step) const;
  // Removes the texture files this write made and the textures folder if it made it.
  void RemoveWrittenTextures();

  ColladaExportOptions options_;
  std::mutex nodesMutex_;  // AddNode may come from several threads
  std::vector<std::unique_ptr<ExportNode>> nodes_;
  std::string failureReason_;
  std::vector<std::u16string> texturesWritten_;  // each texture file this write tried to make
  std::u16string texturesFolderCreated_;         // the textures folder, when this write made it
};
