#pragma once
// Turns the files and folders named on the command line into the items of a file offer: a
// file is offered under its own name, a folder with everything below it under the folder's
// name and the relative path ("Photos/2024/a.jpg"), in a stable (sorted) order.

#include <string>
#include <vector>

#include "sender.h"

struct ItemList {
  std::vector<std::string> local_paths;  // UTF-8
  std::vector<std::string> names;        // offered names, "/" between folders
  std::vector<SendItem> items;           // point into the two lists above
};

// Fills list from UTF-8 paths. False with a one-line reason in *error when a path does not
// exist or cannot be listed.
bool collect_items(const std::vector<std::string>& paths, ItemList* list, std::string* error);
