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

// The log Hastings ratio of that perturbation between the times of `from`
// (folded into [0, fromAge]) and those of `to` (into [0, toAge]), rows
// matched: when the two ages differ the folds differ, so the proposal is not
// symmetric. Per internal node, the density of t' given t is the number of
// images of t' under the fold into [0, toAge] (t' + 2k toAge and -t' + 2k
// toAge) within step of t, over 2 step; the ratio is reverse over forward.
double perturbationLogRatio(const TreeMatrix& from, const TreeMatrix& to, double step, double fromAge, double toAge);

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
