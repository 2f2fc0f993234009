// Moves of the genealogy with the mutation age, and of the mutation location.
#pragma once

#include <cstdint>

// Sets pset.curMutAge for chain c and, when the age is sampled, moves it;
// true when an age was proposed.
bool proposeMutAge(int c, int32_t* seed);

// One genealogy proposal at the age pset.curMutAge, accepted or rejected
// together with that age.
void moveGenealogy(int c, int32_t* seed);

void moveMutLocation(int c, int32_t* seed);
