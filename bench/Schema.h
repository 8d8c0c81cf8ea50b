// The generated schema that the benchmark lists: D databases, one of them
// (qwb_main) with T tables, two of which (in the middle) have F columns of
// mixed types and keys, and one database per scaling size with that many
// tables (named apart from those of qwb_main, so that a switch between the
// two databases changes every row of the table list).
#pragma once

#include "bench/RawClient.h"

#include <string>
#include <vector>

namespace bench {

struct SchemaSize {
  int databases = 2000; // D, qwb_main included
  int tables = 10000;   // T in qwb_main
  int fields = 2800;    // F in the wide table: about the widest the server takes
  std::vector<int> scaling{1, 1000, 3000, 10000, 30000, 100000};
};

inline const std::string MainDatabase = "qwb_main";
std::string ScalingDatabase(int tables);
std::string TableName(int index);        // in qwb_main
std::string ScalingTableName(int index); // in the scaling databases
// The wide tables of qwb_main: the one in the middle and the one after it
// (same types, other column names).
std::string WideTable(const SchemaSize &size);
std::string SecondWideTable(const SchemaSize &size);

// Makes the server hold exactly this schema (the qwb_ databases): what is
// already there in the right shape is kept, the rest is made afresh in
// batches of statements. Reports what it does on stderr.
void GenerateSchema(Connection &admin, const SchemaSize &size);

// The column definitions of the wide table (for the tests of the generator).
std::vector<std::string> WideColumns(int fields, char prefix = 'f');

} // namespace bench
