// Tallies of the leaf haplotypes of chain 0's genealogy.
#pragma once

#include <ostream>
#include <vector>

#include "genealogy/treematrix.h"

extern int sizething;     // capacity of the population table in distinct haplotypes
extern int sizeindthing;  // capacity of each individual's table

// A tally table: row 0 element 0 is the count, elements 1..W the haplotype.
using HaplotypeTable = std::vector<std::vector<int>>;

extern HaplotypeTable hapstate;                // population haplotypes over the sampling iterations
extern std::vector<HaplotypeTable> hapindstate;  // haplotypes of every individual

// Creates hapstate and hapindstate as the run's settings ask.
void makeHaplotypeTables();

// Tallies every leaf's haplotype into hapstate; with write != 0 also sorts the
// tally and writes it (count, frequency, alleles) to out (".hpf").
void haplosave1(const TreeMatrix& m, std::ostream& out, int write);

// Tallies each individual's haplotypes into its table; with write != 0 writes
// every individual's tally to out (".hin").
void haplosaveind(const TreeMatrix& m, std::ostream& out, int write);

// Tallies and writes the distinct leaf haplotypes of m (".hap").
void haplosave3(const TreeMatrix& m, std::ostream& out);
