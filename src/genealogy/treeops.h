// The pieces of the genealogy proposal: child exchanges, the in-order label
// sequence, node-time perturbation and the rebuild from sequence and times.
#pragma once

#include <vector>

#include "core/random.h"
#include "genealogy/treematrix.h"

// Exchanges the children of every row with probability one half (one draw per row).
void swapChildrenAtRandom(TreeMatrix& m, Random& rng);

// In-order traversal of the subtree below label root of a canonical matrix:
// order (resized to the matrix's rows) receives leaves at even positions and
// internal nodes at odd ones.
void inOrderLabels(const TreeMatrix& m, int root, std::vector<int>& order);

// Moves every internal node's Time by a uniform step of half-width step (one
// draw per internal node) and folds it back into [0, age].
void perturbNodeTimes(TreeMatrix& m, double step, double age, Random& rng);

// Fills rows with the row indices of m by ascending Time: the leaves first,
// then the internal nodes, their ties (if any) in the order the row sort
// leaves them.
void timeOrder(const TreeMatrix& m, std::vector<int>& rows);

// Working lists of rebuildFromSequence, kept by the caller so that a move
// allocates nothing.
struct SequenceLinks {
  std::vector<int> previous;    // position of the previous entry still in the sequence, or -1
  std::vector<int> next;        // position of the next one, or -1
  std::vector<int> positionOf;  // position of each label in the original sequence
};

// Rebuilds the links of p (canonical, perturbed times) from the in-order
// sequence order: the internal nodes, youngest first, join their two
// neighbours in the sequence. byTime holds p's rows in ascending order of
// Time (see timeOrder). p ends canonical with every BranchLength recomputed,
// the root's reaching up to age.
void rebuildFromSequence(TreeMatrix& p, const std::vector<int>& byTime, const std::vector<int>& order, double age,
                         SequenceLinks& links);
