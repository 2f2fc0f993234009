// Genetic map positions (centimorgans) of base-pair positions on one
// chromosome: from a map file, interpolated linearly, or from a uniform rate.
#pragma once

#include <string>
#include <vector>

struct GeneticMap {
  std::string file;                 // empty: the uniform rate below
  double cmPerMb = 0;
  std::string chromosome;           // as the map file names it
  std::vector<long long> positions; // base pairs, non-decreasing
  std::vector<double> centimorgans; // non-decreasing
};

// The rows of `chromosome` in a PLINK .map file (chr ID cM bp; rows with a
// position below 1 are left out, as PLINK does) or, when the first line is a
// header (its last word is not a number), a HapMap-style file with columns
// chr position rate cM (or position rate cM without a chromosome column).
// Chromosome names match with or without a "chr" prefix.
GeneticMap readGeneticMap(const std::string& file, const std::string& chromosome);

GeneticMap uniformMap(double cmPerMb);

// The map position of a base pair; a position outside the map's rows is an
// error naming the file.
double centimorgansAt(const GeneticMap& map, const std::string& chromosome, long long position);

// "chr7", "Chr7" and "7" name the same chromosome, as do X and 23, Y and 24,
// MT, M and 26.
bool sameChromosome(const std::string& a, const std::string& b);
