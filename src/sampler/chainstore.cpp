#include "sampler/chainstore.h"

#include "genealogy/treestore.h"

void saveChain(ByteWriter& out, const Chain& chain) {
  out.putVector(chain.tree.cells);
  out.putVector(chain.sortedTimes);
  out.put<int32_t>(chain.rootLabel);
  out.put(chain.mutLocation);
  out.put(chain.mutAge);
  out.putVector(chain.alleleFreq.cells);
  out.putVector(chain.rootHaplotype);
  for (double term : {chain.logLik, chain.secondChromLogProb, chain.coalPrior, chain.mutAgePrior, chain.rootHapLogProb,
                      chain.mutLocPrior, chain.freqLogLik})
    out.put(term);
  for (long count : {chain.acceptTree, chain.acceptMutLoc, chain.acceptRoot, chain.acceptInternal, chain.acceptFreq,
                     chain.acceptNodeTime, chain.acceptExchange, chain.acceptScale})
    out.put<int64_t>(count);
  out.put(chain.locationSample);
  out.put(chain.ageSample);
  out.putVector(chain.missingLeaves);
  out.put<uint64_t>(chain.missingCells.size());
  for (const MissingCells& record : chain.missingCells) out.putVector(record);
}

namespace {

// A missing-cell record names a leaf, its counts and that many allele columns.
bool validRecord(const MissingCells& record, const TreeMatrix& m) {
  if (record.size() < 3) return false;
  const int leaf = record[0];
  if (leaf < 0 || leaf >= m.rows || cellInt(m[leaf][LeftChild]) != -1) return false;
  if (record[1] < 0 || record[2] < 0 || static_cast<size_t>(record[1]) + record[2] + 3 != record.size()) return false;
  for (size_t e = 3; e < record.size(); e++)
    if (record[e] < 0 || record[e] >= m.layout.alleleColumns) return false;
  return true;
}

}  // namespace

std::string loadChain(ByteReader& in, const RunSettings& s, Chain& chain) {
  const int N = chain.tree.rows;
  const int L = s.numLoci;
  chain.tree.cells = in.getVector<double>(chain.tree.cells.size());
  chain.sortedTimes = in.getVector<double>(N);
  chain.rootLabel = in.get<int32_t>();
  chain.mutLocation = in.get<double>();
  chain.mutAge = in.get<double>();
  chain.alleleFreq.cells = in.getVector<double>(chain.alleleFreq.cells.size());
  chain.rootHaplotype = in.getVector<int>(L);
  for (double* term : {&chain.logLik, &chain.secondChromLogProb, &chain.coalPrior, &chain.mutAgePrior,
                       &chain.rootHapLogProb, &chain.mutLocPrior, &chain.freqLogLik})
    *term = in.get<double>();
  for (long* count : {&chain.acceptTree, &chain.acceptMutLoc, &chain.acceptRoot, &chain.acceptInternal,
                      &chain.acceptFreq, &chain.acceptNodeTime, &chain.acceptExchange, &chain.acceptScale})
    *count = in.get<int64_t>();
  chain.locationSample = in.get<double>();
  chain.ageSample = in.get<double>();
  const uint64_t leaves = in.get<uint64_t>();
  if (leaves > static_cast<uint64_t>(s.numChrom)) return "more missing-allele leaves than leaves";
  std::vector<int> missingLeaves(leaves);
  for (int& leaf : missingLeaves) leaf = in.get<int>();
  chain.missingLeaves = missingLeaves;
  if (in.get<uint64_t>() != leaves) return "the missing-allele records do not match their leaves";
  chain.missingCells.assign(leaves, {});
  for (uint64_t e = 0; e < leaves; e++) {
    const uint64_t size = in.get<uint64_t>();
    if (size < 3 || size > 3 + static_cast<uint64_t>(chain.tree.layout.alleleColumns)) return "a missing-allele record is malformed";
    std::vector<int> record(size);
    for (int& v : record) v = in.get<int>();
    chain.missingCells[e] = record;
  }

  const std::string fault = genealogyFault(chain.tree, s.alleles.highestLabel);
  if (!fault.empty()) return "chain " + std::to_string(chain.index + 1) + ": " + fault;
  if (chain.rootLabel < 0 || chain.rootLabel >= N || cellInt(chain.tree[chain.rootLabel][Parent]) != -1)
    return "chain " + std::to_string(chain.index + 1) + ": the root label is not the root";
  for (int k = 0; k < L; k++)
    if (chain.rootHaplotype[k] < 1 || chain.rootHaplotype[k] > s.alleles.highestLabel[k])
      return "chain " + std::to_string(chain.index + 1) + ": a root allele is not a label of its marker";
  for (size_t e = 0; e < chain.missingCells.size(); e++)
    if (!validRecord(chain.missingCells[e], chain.tree) || chain.missingCells[e][0] != chain.missingLeaves[e])
      return "chain " + std::to_string(chain.index + 1) + ": a missing-allele record is malformed";
  return "";
}
