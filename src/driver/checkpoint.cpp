#include "driver/checkpoint.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/binaryio.h"
#include "core/failure.h"
#include "driver/outputs.h"
#include "driver/rounds.h"
#include "sampler/chainstore.h"

namespace {

const char kMagic[] = "mutloc checkpoint\n";
constexpr size_t kMagicBytes = sizeof(kMagic) - 1;
// 2: the sampling options name the genealogy move without its Hastings term
// ("symmetric=1"); in layout 1 that move was the default and the term an
// option, so a layout-1 checkpoint cannot say which move it ran.
constexpr uint32_t kFormat = 2;
constexpr size_t kTextLimit = 4096;

[[noreturn]] void damaged(const std::string& path, const std::string& why) {
  throw failLine(path + " is damaged or no checkpoint (" + why + "); it cannot be resumed.");
}

void writeAll(int fd, const std::string& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;  // a stop signal arrived: go on writing
    if (n <= 0) {
      ::close(fd);
      throw failLine(writeFailure(path));
    }
    done += static_cast<size_t>(n);
  }
}

void saveSteps(ByteWriter& out, const StepSet& steps) {
  for (double step : steps.values()) out.put(step);
}

void loadSteps(ByteReader& in, StepSet& steps) {
  for (SharedDouble* step : steps.all()) step->store(in.get<double>());
}

// The frame of a checkpoint: magic, length and checksum checked; returns a
// reader of the body.
ByteReader bodyOf(const std::string& bytes, const std::string& path) {
  if (bytes.size() < kMagicBytes + 16 || bytes.compare(0, kMagicBytes, kMagic) != 0)
    damaged(path, "it does not begin as a checkpoint of this program does");
  uint64_t size = 0;
  std::memcpy(&size, bytes.data() + kMagicBytes, sizeof size);
  if (size != bytes.size() - kMagicBytes - 16) damaged(path, "it is not as long as it says");
  uint64_t sum = 0;
  std::memcpy(&sum, bytes.data() + bytes.size() - 8, sizeof sum);
  if (sum != fnv1a64(bytes.data(), bytes.size() - 8)) damaged(path, "its checksum does not match its contents");
  return ByteReader(bytes.data() + kMagicBytes + 8, size);
}

// The identity (checked) and position at the head of the body.
CheckpointPosition readHeader(ByteReader& in, const std::string& path, const CheckpointIdentity& identity,
                              const RunSettings& s) {
  CheckpointPosition position;
  const uint32_t format = in.get<uint32_t>();
  if (format == 1)
    throw failLine(path + " was written by an earlier mutloc, whose genealogy move this one no longer makes by "
                   "default; it cannot be resumed.");
  if (format != kFormat) damaged(path, "it has another layout");
  const std::string version = in.getString(kTextLimit);
  if (version != identity.version)
    throw failLine(path + " was written by mutloc " + version + "; this mutloc " + identity.version +
                   " cannot resume it.");
  if (in.get<uint64_t>() != identity.paramHash)
    throw failLine(path + " belongs to another parameter file (or the parameter file changed since).");
  position.samplingOptions = in.getString(kTextLimit);
  const std::string words = " " + position.samplingOptions + " ";
  for (const std::string& required : identity.requiredOptions)
    if (words.find(" " + required + " ") == std::string::npos)
      throw failLine(path + " was written with the sampling options \"" + position.samplingOptions + "\", not " +
                     required + "; resume with the same ones (or leave them out).");
  position.iteration = in.get<int64_t>();
  position.datLength = in.get<uint64_t>();
  position.samplesLength = in.get<uint64_t>();
  position.checkpointEvery = in.get<int64_t>();
  // A run in rounds may go on to its --max-iterations.
  const RoundRule rounds = RoundRule::fromWords(position.samplingOptions);
  const long sampling = rounds.on ? std::max(s.iterations, rounds.maxIterations) : s.iterations;
  if (position.iteration < 0 || position.iteration >= s.burnIn + sampling || position.checkpointEvery < 0)
    damaged(path, "its iteration is outside the run");
  return position;
}

// Generous bound on a checkpoint of this run, so that a wrong file is never
// read whole into memory.
long long largestCheckpoint(const RunSettings& s) {
  const long long rows = 2LL * s.numChrom - 1;
  const long long width = 9 + 2LL * s.numLoci;
  const long long chain = 2 * rows * width * 8 + 8LL * (s.alleles.maxAllele + 1) * s.numLoci + 64LL * rows + 4096;
  const long long tallyRow = 8 * (2LL * s.numLoci + 1) + 8;
  // The founder tallies (--sporadic): at most two counts per chromosome.
  const long long tallies = tallyRow * (kPopulationTallyRows + 1LL * s.numChrom * kIndividualTallyRows) +
                            16LL * s.numChains * s.numChrom;
  return (1 << 20) + 33LL * s.numChains * chain + tallies;  // up to 32 heated companions a chain
}

}  // namespace

void writeCheckpoint(const std::string& path, const CheckpointIdentity& identity, const CheckpointPosition& position,
                     const RunRecords& records) {
  ByteWriter body;
  body.put(kFormat);
  body.putString(identity.version);
  body.put(identity.paramHash);
  body.putString(identity.samplingOptions);
  body.put<int64_t>(position.iteration);
  body.put(position.datLength);
  body.put(position.samplesLength);
  body.put<int64_t>(position.checkpointEvery);
  for (const std::vector<Random>* group : records.streams) {
    body.put<uint32_t>(static_cast<uint32_t>(group->size()));
    for (const Random& stream : *group) body.put(stream.state());
  }
  saveSteps(body, records.control);
  body.put<uint32_t>(static_cast<uint32_t>(records.levelSteps.size()));
  for (const StepSet& steps : records.levelSteps) saveSteps(body, steps);
  records.trace.save(body);
  saveTallies(body, records.tallies);
  body.put<uint32_t>(static_cast<uint32_t>(records.chains.size()));
  for (const Chain& chain : records.chains) saveChain(body, chain);
  records.tempering.save(body);
  if (records.tuner) records.tuner->save(body);
  if (records.founders) records.founders->save(body);

  std::string bytes(kMagic, kMagicBytes);
  const uint64_t size = body.bytes().size();
  bytes.append(reinterpret_cast<const char*>(&size), sizeof size);
  bytes += body.bytes();
  const uint64_t sum = fnv1a64(bytes.data(), bytes.size());
  bytes.append(reinterpret_cast<const char*>(&sum), sizeof sum);

  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0664);
  if (fd < 0) throw failLine(path + " can't be written (" + temporary + " can't be created).");
  writeAll(fd, bytes, temporary);
  if (::fsync(fd) != 0 || ::close(fd) != 0) throw failLine(writeFailure(temporary));
  if (std::rename(temporary.c_str(), path.c_str()) != 0) throw failLine(path + " can't be replaced.");
}

CheckpointPosition parseCheckpoint(const std::string& bytes, const std::string& path,
                                   const CheckpointIdentity& identity, const RunSettings& s, RunRecords& records) {
  ByteReader in = bodyOf(bytes, path);
  CheckpointPosition position;
  try {
    position = readHeader(in, path, identity, s);
    for (std::vector<Random>* group : records.streams) {
      if (in.get<uint32_t>() != group->size()) damaged(path, "it holds another number of random streams");
      for (Random& stream : *group) {
        stream.restore(in.get<Random::State>());
        if (stream.state().kind > 1) damaged(path, "it holds a random stream of no known kind");
      }
    }
    loadSteps(in, records.control);
    if (in.get<uint32_t>() != records.levelSteps.size()) damaged(path, "it holds another number of temperatures");
    for (StepSet& steps : records.levelSteps) loadSteps(in, steps);
    records.trace.load(in);
    const std::string tallies = loadTallies(in, records.tallies);
    if (!tallies.empty()) damaged(path, tallies);
    if (in.get<uint32_t>() != records.chains.size()) damaged(path, "it holds another number of chains");
    for (Chain& chain : records.chains) {
      const std::string fault = loadChain(in, s, chain);
      if (!fault.empty()) damaged(path, fault);
    }
    const std::string companions = records.tempering.load(in, s);
    if (!companions.empty()) damaged(path, companions);
    if (records.tuner) records.tuner->load(in);
    if (records.founders) records.founders->load(in);
    if (in.remaining() != 0) damaged(path, "it goes on after its last record");
  } catch (const ShortRecord&) {
    damaged(path, "it ends early or holds a wrong length");
  }
  return position;
}

namespace {

std::string readWhole(const std::string& path, const RunSettings& s) {
  const long long size = fileBytes(path);
  if (size < 0) throw failLine(path + " can't be opened.");
  if (size > largestCheckpoint(s)) damaged(path, "it is far larger than a checkpoint of this run");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw failLine(path + " can't be opened.");
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::string peekSamplingOptions(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(kMagicBytes + 8 + 3 * kTextLimit, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  if (head.size() < kMagicBytes + 8 || head.compare(0, kMagicBytes, kMagic) != 0) return "";
  ByteReader body(head.data() + kMagicBytes + 8, head.size() - kMagicBytes - 8);
  try {
    if (body.get<uint32_t>() != kFormat) return "";
    body.getString(kTextLimit);  // the version
    body.get<uint64_t>();        // the parameter file's hash
    return body.getString(kTextLimit);
  } catch (const ShortRecord&) {
    return "";
  }
}

CheckpointPosition readCheckpointHeader(const std::string& path, const CheckpointIdentity& identity,
                                        const RunSettings& s) {
  const std::string bytes = readWhole(path, s);
  ByteReader in = bodyOf(bytes, path);
  try {
    return readHeader(in, path, identity, s);
  } catch (const ShortRecord&) {
    damaged(path, "it ends early or holds a wrong length");
  }
}

CheckpointPosition readCheckpoint(const std::string& path, const CheckpointIdentity& identity, const RunSettings& s,
                                  RunRecords& records) {
  return parseCheckpoint(readWhole(path, s), path, identity, s, records);
}
