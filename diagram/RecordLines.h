// Where a node or branch record stands in a ЦДУ text, so that a view can
// select the record that a shape of the diagram comes from.
#pragma once

#include <string_view>

namespace tarvel::diagram {

// The line (from 0) of the record of node index k, or -1. Index 0 is the base
// node, whose last 0102 record the reader keeps; index k >= 1 is the k-th
// 0201 record. Records are taken one to a line, the code first.
int nodeRecordLine(std::string_view text, int k);

// The line of the record of branch index j >= 1, the j-th 0301 record that
// names a second node (a 0301 record with N2 = 0 is a shunt), or -1.
int branchRecordLine(std::string_view text, int j);

}  // namespace tarvel::diagram
