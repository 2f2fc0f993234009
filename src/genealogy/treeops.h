// The pieces of the genealogy proposal: child exchanges, the in-order label
// sequence, node-time perturbation and the rebuild from sequence and times.
#pragma once

#include <cstdint>
#include <vector>

#include "genealogy/treematrix.h"

// Exchanges the children of every row with probability one half (2n-1 draws).
void rotate_nodes(TreeMatrix& m, int n, int32_t* seed);

// In-order traversal below label node of a canonical matrix, writing labels to
// order (which holds total elements). prev is not used.
void getlabelorder(int prev, int node, int total, std::vector<int>& order, const TreeMatrix& m);

// Moves every internal node's Time by a uniform step of half-width adjTree and
// folds it back into [0, curMutAge].
void adjcoaltimes(TreeMatrix& m, int n, int32_t* seed);

// Fills rows with the row indices of m by ascending Time: the n leaves first,
// then the internal nodes, their ties (if any) in the order the row sort
// leaves them.
void timeOrder(const TreeMatrix& m, std::vector<int>& rows);

// Rebuilds the links of p (canonical, perturbed times) from the in-order
// sequence order; byTime holds p's rows in ascending order of Time (see
// timeOrder). p ends canonical with every BranchLength recomputed. order is
// consumed.
void reassignnodes(TreeMatrix& p, const std::vector<int>& byTime, std::vector<int>& order);
