// The reader and checker of the ЦДУ input text.
#pragma once

#include <filesystem>
#include <string_view>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/NetworkReading.h"

namespace tarvel {

class FileSet;

// Reads workDir/network.cdu into the model, checks the data and writes every
// finding to workDir/network.err (Windows-1251, CR LF). Gives the findings and
// the line of every stored record; accepted when the data are accepted, and
// then the branch end indices are set and the susceptances and
// conductances are scaled to siemens. The caller has cleared the run tables
// (clearRunTables) before the call. The tables grow with the text.
//
// Besides the listed checks of the data, and after their lines, the reader
// refuses what the tables or the solver cannot take: more than
// kMaxNodeRecords nodes besides the base node or kMaxBranchRecords branches
// (only that line is written then; nothing past these counts is stored),
// node numbers below -99, reactive limits of a node record whose minimum
// exceeds the maximum (named with the record's line),
// values that overflow a float, and, when the other checks pass, node numbers
// given twice and nodes that no chain of branches joins to the base node.
// A text whose reading stopped early (a token that is not a number of its
// field's kind, or a record cut by the end of the text) is told by a warning
// (sink.warning) with its line and column, whether the data are accepted or
// not. Accepted data may come with further warnings: node numbers given twice
// and a branch from a node to itself. Fields that a cut record did not get
// are 0.
NetworkReading readNetworkData(NetworkModel& model, const std::filesystem::path& workDir, MessageSink& sink);

// The same for the network.cdu in workDir that was just written from bytes
// (Windows-1251), read from those bytes rather than back from the disk; the
// findings go to network.err as readNetworkData writes them, through the
// run's set of files when one is given.
NetworkReading readWrittenNetwork(NetworkModel& model, std::string_view bytes, const std::filesystem::path& workDir,
                                  MessageSink& sink, FileSet* files = nullptr);

// The same from a ЦДУ text held in memory, as network.cdu holds it
// (Windows-1251): the findings are only handed back, no file is read or
// written.
NetworkReading readNetworkText(NetworkModel& model, std::string_view text, MessageSink& sink);

}  // namespace tarvel
