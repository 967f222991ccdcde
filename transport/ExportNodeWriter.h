#pragma once

#include <cstdint>
#include <memory>

#include "transport/ColladaExportOptions.h"
#include "transport/ExportNode.h"

// Results of TideLinkDocument::ExportCollada besides 0 (success) and a code thrown by the
// writer or its progress callback.
inline constexpr int32_t kExportDocumentClosed = -1;
// The file could not be opened or written completely; nothing of it is left behind.
inline constexpr int32_t kExportWriteFailed = -2;

// What a document hands its export nodes to: the COLLADA writer. Declared here so that the
// document can run an export without depending on the writer's layer. One writer serves one
// export.
class ExportNodeWriter {
public:
  virtual ~ExportNodeWriter() = default;
  virtual const ColladaExportOptions& options() const = 0;
  // Takes the node; null is ignored. Safe to call from several threads at once.
  virtual void AddNode(std::unique_ptr<ExportNode> node) = 0;
  // Writes the file with every node added, then drops the nodes. False when nothing usable was
  // written: empty path, a file that cannot be opened, or a failure while writing (the partial
  // file is then deleted).
  virtual bool Write() = 0;
};
