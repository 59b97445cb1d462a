#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/crate.h"

namespace morrowdeck {

// Assembles crates named by component paths into a forest sorted by name. Used once per
// library load on one thread, then dropped.
class TreeBuilder {
  public:
    // Walks (and creates) the nodes of the path; the last node takes the file, flag and
    // tracks. When an earlier insert already gave that node a file (two files whose names
    // are canonically equivalent), the node keeps its first file and flag, lists the new
    // file after it in crateFiles and appends the new tracks. An empty path is ignored.
    // Names that are canonically equivalent address the same node; case matters.
    void insert(const std::vector<std::string>& components,
                const std::optional<std::filesystem::path>& crateFileURL, bool isSmart,
                std::vector<std::string> tracks);

    // The forest with every level sorted in the Finder-like name order, with fresh ids.
    // Moves the collected tracks into the crates: the builder is empty afterwards.
    std::vector<Crate::Ptr> sortedForest();

  private:
    struct Node;
    // Keyed by the NFC form of the name.
    struct NodeMap {
        std::map<std::string, std::unique_ptr<Node>> children;
    };
    struct Node {
        std::string name;
        std::vector<std::string> components;
        std::optional<std::filesystem::path> crateFileURL;
        std::vector<std::filesystem::path> crateFiles;
        bool isSmart = false;
        std::vector<std::string> tracks;
        NodeMap children;
    };

    static std::vector<Crate::Ptr> convert(NodeMap& map);

    NodeMap rootChildren;
};

}  // namespace morrowdeck
