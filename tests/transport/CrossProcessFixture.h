#pragma once

#include <string>

#include "tests/support/BackgroundProcess.h"
#include "tests/transport/TransportTestSupport.h"

// A peer process whose output is read line by line as it comes. TRANSPORT_PEER is defined by
// the suite that builds the peer.
class Peer {
public:
  explicit Peer(const std::string& arguments) : process_(std::string(TRANSPORT_PEER) + " " + arguments + " 2>&1") {}
  // The next line with its line break; empty at the end.
  std::string ReadLine() {
    const std::string line = process_.ReadLine();
    return line.empty() ? line : line + "\n";
  }
  // Everything still to come; the exit status is then in status().
  std::string Finish() {
    std::string rest;
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) rest += line;
    status_ = process_.Wait();
    return rest;
  }
  int status() const { return status_; }

private:
  BackgroundProcess process_;
  int status_ = -1;
};

// The document's name as the peer is given it, and a one-triangle mesh to commit.
class CrossProcessFixture : public TransportTest {
protected:
  std::string Name() const { return token_ + "doc"; }
  static TideLinkMesh Triangle() {
    TideLinkMesh mesh = TideLinkMesh::Create(3, 3, 1);
    mesh.positions[0] = 2.5f;
    mesh.indices = {0, 1, 2};
    return mesh;
  }
};
