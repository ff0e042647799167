// Seeded mutations of an update package for the tests that hold mendwright-pack check against the
// installer: elements dropped, repeated or renamed, names, digests, pack targets, versions and
// encodings changed, the pack source's bytes damaged. One seed gives one mutation, every run.
#pragma once

#include <string>

struct KMutatedPackage {
    std::string strDescription;  // the bytes of Update.dat
    std::string strPack;         // the bytes of the pack source
    std::string strRemoved;      // a file of the package folder taken away ("" none)
    std::string strSteps;        // what was changed, one step a line, for a report
};

// Mutates a description strText (UTF-8, its declaration naming GBK: written in GBK unless a step
// changes the encoding), its pack source strPack and the package folder with one to three steps
// chosen by uSeed.
KMutatedPackage MutatePackage(const std::string& strText, const std::string& strPack, unsigned uSeed);
