#include "sampler/chainstore.h"


#include "genealogy/treestore.h"

namespace {

template <typename T>
void write(ByteWriter& out, const std::vector<T>& values) {
  out.putVector(values);
}
template <typename T>
void write(ByteWriter& out, const T& value) {
  out.put(value);
}

// Vectors are read at the length the shaped chain already has.
template <typename T>
void read(ByteReader& in, std::vector<T>& values) {
  values = in.getVector<T>(values.size());
}
template <typename T>
void read(ByteReader& in, T& value) {
  value = in.get<T>();
}

// A missing-cell record names a leaf and that many allele columns.
bool validRecord(const MissingCells& record, const TreeMatrix& m) {
  const int leaf = record.leaf;
  if (leaf < 0 || leaf >= m.rows || cellInt(m[leaf][LeftChild]) != -1) return false;
  if (record.carrierCount < 0 || record.secondCount < 0 ||
      static_cast<size_t>(record.carrierCount) + record.secondCount != record.columns.size())
    return false;
  for (int column : record.columns)
    if (column < 0 || column >= m.layout.alleleColumns) return false;
  return true;
}

// The sporadic part: indicators 0 or 1 on leaves only, a share in [0, 1),
// and every chromosome on a leaf of its own.
bool validSporadic(const Chain& chain) {
  const TreeMatrix& m = chain.tree;
  for (int r = 0; r < m.rows; r++)
    if (chain.sporadic.leaf[r] > 1 || (chain.sporadic.leaf[r] == 1 && isInternal(m, r))) return false;
  if (!(chain.sporadic.share >= 0 && chain.sporadic.share < 1)) return false;
  std::vector<bool> taken(m.rows, false);
  for (int leaf : chain.chromosomeLeaf) {
    if (leaf < 0 || leaf >= m.rows || isInternal(m, leaf) || taken[leaf]) return false;
    taken[leaf] = true;
  }
  return true;
}

}  // namespace

void saveChain(ByteWriter& out, const Chain& chain) {
  forEachSaved(chain, [&out](const auto& field) { write(out, field); });
  out.putVector(chain.missingLeaves);
  // Each record as one list: leaf, the two counts, then the columns.
  out.put<uint64_t>(chain.missingCells.size());
  for (const MissingCells& record : chain.missingCells) {
    out.put<uint64_t>(3 + record.columns.size());
    for (int value : {record.leaf, record.carrierCount, record.secondCount}) out.put(value);
    for (int column : record.columns) out.put(column);
  }
}

std::string loadChain(ByteReader& in, const RunSettings& s, Chain& chain) {
  const int N = chain.tree.rows;
  const int L = s.numLoci;
  forEachSaved(chain, [&in](auto& field) { read(in, field); });
  const uint64_t leaves = in.get<uint64_t>();
  if (leaves > static_cast<uint64_t>(s.numChrom)) return "more missing-allele leaves than leaves";
  std::vector<int> missingLeaves(leaves);
  for (int& leaf : missingLeaves) leaf = in.get<int>();
  chain.missingLeaves = missingLeaves;
  if (in.get<uint64_t>() != leaves) return "the missing-allele records do not match their leaves";
  chain.missingCells.assign(leaves, {});
  for (MissingCells& record : chain.missingCells) {
    const uint64_t size = in.get<uint64_t>();
    if (size < 3 || size > 3 + static_cast<uint64_t>(chain.tree.layout.alleleColumns)) return "a missing-allele record is malformed";
    record.leaf = in.get<int>();
    record.carrierCount = in.get<int>();
    record.secondCount = in.get<int>();
    record.columns.resize(size - 3);
    for (int& column : record.columns) column = in.get<int>();
  }

  const std::string fault = genealogyFault(chain.tree, s.alleles.highestLabel);
  if (!fault.empty()) return "chain " + std::to_string(chain.index + 1) + ": " + fault;
  if (chain.rootLabel < 0 || chain.rootLabel >= N || cellInt(chain.tree[chain.rootLabel][Parent]) != -1)
    return "chain " + std::to_string(chain.index + 1) + ": the root label is not the root";
  for (int k = 0; k < L; k++)
    if (chain.rootHaplotype[k] < 1 || chain.rootHaplotype[k] > s.alleles.highestLabel[k])
      return "chain " + std::to_string(chain.index + 1) + ": a root allele is not a label of its marker";
  if (chain.sporadic.active() && !validSporadic(chain))
    return "chain " + std::to_string(chain.index + 1) + ": the sporadic chromosomes are malformed";
  for (size_t e = 0; e < chain.missingCells.size(); e++)
    if (!validRecord(chain.missingCells[e], chain.tree) || chain.missingCells[e].leaf != chain.missingLeaves[e])
      return "chain " + std::to_string(chain.index + 1) + ": a missing-allele record is malformed";
  return "";
}
