#pragma once

#include <cstdint>
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

    // Walks (and creates) the nodes of the path; the last node is also the database's crate
    // `containerId` with its list of tracks. A node with a file and a database crate is read
    // from both: it shows the database's list and notes whether the file's list (the same
    // paths, canonically equal, in the same order) differs. A second database crate at the
    // same node appends its tracks, as a second file does.
    void insertFromDatabase(const std::vector<std::string>& components, std::int64_t containerId,
                            bool isSmart, std::vector<std::string> tracks);

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
        std::optional<std::int64_t> databaseId;
        bool databaseSmart = false;
        std::vector<std::string> databaseTracks;
        // Some insert from files, or from the database, walked through this node: what a
        // group without a file or database crate of its own was made from.
        bool fromFiles = false;
        bool fromDatabase = false;
        NodeMap children;
    };

    Node* walk(const std::vector<std::string>& components, bool fromDatabase);
    static void finish(Node& node, Crate& crate);
    static std::vector<Crate::Ptr> convert(NodeMap& map);

    NodeMap rootChildren;
};

}  // namespace morrowdeck
