#include "results/samples.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/failure.h"
#include <algorithm>

#include "results/histogram.h"

namespace {

constexpr size_t kBufferBytes = 1 << 20;

}  // namespace

SampleFile::~SampleFile() {
  if (file_) std::fclose(file_);
}

void SampleFile::open(bool resume, uint64_t keepBytes) {
  const int fd = ::open(name_.c_str(), O_RDWR | O_CREAT | (resume ? 0 : O_TRUNC), 0664);
  if (fd < 0) throw failLine(name_ + " can't be opened.");
  if (resume && ftruncate(fd, static_cast<off_t>(keepBytes)) != 0) {
    ::close(fd);
    throw failLine(name_ + " can't be cut back to the checkpoint.");
  }
  file_ = fdopen(fd, "r+");
  if (!file_) {
    ::close(fd);
    throw failLine(name_ + " can't be opened.");
  }
  std::setvbuf(file_, nullptr, _IOFBF, kBufferBytes);
  std::fseek(file_, 0, SEEK_END);
  record_.assign(static_cast<size_t>(values_) * chains_, 0.0);
}

void SampleFile::append(const std::vector<Chain>& chains) {
  for (int c = 0; c < chains_; c++) {
    double* values = &record_[static_cast<size_t>(values_) * c];
    values[0] = chains[c].locationSample;
    values[1] = chains[c].ageSample;
    if (values_ == 3) values[2] = chains[c].sporadic.share;
  }
  if (std::fwrite(record_.data(), sizeof(double), record_.size(), file_) != record_.size())
    throw failLine(writeFailure(name_));
}

uint64_t SampleFile::flush() {
  if (std::fflush(file_) != 0) throw failLine(writeFailure(name_));
  const long length = std::ftell(file_);
  if (length < 0) throw failLine(writeFailure(name_));
  return static_cast<uint64_t>(length);
}

void SampleFile::remove() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  std::remove(name_.c_str());
}

template <typename Visit>
void SampleFile::forEachRecord(long count, const Visit& visit) {
  flush();
  if (std::fseek(file_, 0, SEEK_SET) != 0) throw failLine(name_ + " can't be read back.");
  const size_t perRecord = static_cast<size_t>(values_) * chains_;
  std::vector<double> block(perRecord * 4096);
  const long perBlock = 4096;
  for (long done = 0; done < count;) {
    const long records = std::min(perBlock, count - done);
    const size_t values = static_cast<size_t>(records) * perRecord;
    if (std::fread(block.data(), sizeof(double), values, file_) != values)
      throw failLine(name_ + " is shorter than the samples it should hold.");
    for (long r = 0; r < records; r++) visit(&block[static_cast<size_t>(r) * perRecord]);
    done += records;
  }
  std::fseek(file_, 0, SEEK_END);
}

void SampleFile::writeHistograms(long count, int bars, double alphaLevel, std::ostream& sig, std::ostream& tre) {
  std::vector<HistogramBars> locations(chains_), ages(chains_);
  const int v = values_;
  forEachRecord(count, [&](const double* record) {
    for (int c = 0; c < chains_; c++) {
      locations[c].widen(record[v * c]);
      ages[c].widen(record[v * c + 1]);
    }
  });
  for (int c = 0; c < chains_; c++) {
    locations[c].startCounting(bars);
    ages[c].startCounting(bars);
  }
  forEachRecord(count, [&](const double* record) {
    for (int c = 0; c < chains_; c++) {
      locations[c].count(record[v * c]);
      ages[c].count(record[v * c + 1]);
    }
  });
  for (const HistogramBars& h : locations) writeHistogram(h, count, alphaLevel, sig);
  for (const HistogramBars& h : ages) writeHistogram(h, count, alphaLevel, tre);
}

SampleFile::Draws SampleFile::readDraws(long count, long maxDraws) {
  const bool shares = values_ == 3;
  Draws draws{std::vector<std::vector<double>>(chains_), std::vector<std::vector<double>>(chains_),
              std::vector<std::vector<double>>(shares ? chains_ : 0)};
  const long kept = std::min(count, maxDraws);
  if (kept <= 0) return draws;
  for (int c = 0; c < chains_; c++) {
    draws.locations[c].reserve(kept);
    draws.ages[c].reserve(kept);
    if (shares) draws.shares[c].reserve(kept);
  }
  // Record r is kept when it is the first at or after the next of kept evenly
  // spaced positions.
  long record = 0;
  long next = 0;
  forEachRecord(count, [&](const double* values) {
    if (record == (next * count) / kept) {
      for (int c = 0; c < chains_; c++) {
        draws.locations[c].push_back(values[values_ * c]);
        draws.ages[c].push_back(values[values_ * c + 1]);
        if (shares) draws.shares[c].push_back(values[values_ * c + 2]);
      }
      next++;
    }
    record++;
  });
  return draws;
}
