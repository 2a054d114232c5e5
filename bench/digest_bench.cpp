// DigestText against OpenSSL's MD5 on the same texts. Each OpenSSL case runs just before its
// DigestText twin, and the twin reports its speed relative to it as the counter vs_openssl.

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "digest/code_page.h"
#include "digest/digest.h"

namespace {

using vellmor::digest::AnsiCodeOf;
using vellmor::digest::DigestText;

struct Sample {
  std::u16string text;
  std::string code_page_bytes;  // what OpenSSL digests: the text in code page 936
};

// Sizes are those of the code-page bytes: a Chinese character takes two.
Sample MakeSample(bool chinese, std::size_t bytes) {
  std::mt19937 random(static_cast<std::uint32_t>(bytes));
  Sample sample;
  if (chinese) {
    std::uniform_int_distribution<int> ideograph(0x4E00, 0x9FA5);
    for (std::size_t i = 0; i < bytes / 2; ++i) {
      const auto unit = static_cast<char16_t>(ideograph(random));
      const int code = AnsiCodeOf(unit) + 65536;
      sample.text.push_back(unit);
      sample.code_page_bytes.push_back(static_cast<char>(code / 256));
      sample.code_page_bytes.push_back(static_cast<char>(code % 256));
    }
  } else {
    std::uniform_int_distribution<int> printable(0x20, 0x7E);
    for (std::size_t i = 0; i < bytes; ++i) {
      const auto c = static_cast<char>(printable(random));
      sample.text.push_back(static_cast<char16_t>(c));
      sample.code_page_bytes.push_back(c);
    }
  }
  return sample;
}

const Sample& SampleFor(bool chinese, std::size_t bytes) {
  static std::map<std::pair<bool, std::size_t>, Sample> samples;
  auto [it, added] = samples.try_emplace({chinese, bytes});
  if (added) {
    it->second = MakeSample(chinese, bytes);
  }
  return it->second;
}

// Seconds per digest of the last OpenSSL run, by case.
std::map<std::pair<bool, std::size_t>, double>& PeerSeconds() {
  static std::map<std::pair<bool, std::size_t>, double> seconds;
  return seconds;
}

// Processor time, not wall time: other work on the machine then counts against neither side.
double SecondsPerIteration(std::clock_t start, benchmark::IterationCount iterations) {
  const double elapsed = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  return elapsed / static_cast<double>(iterations);
}

void OpenSslMd5(benchmark::State& state, bool chinese) {
  const auto bytes = static_cast<std::size_t>(state.range(0));
  const Sample& sample = SampleFor(chinese, bytes);
  const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md5(EVP_MD_fetch(nullptr, "MD5", nullptr),
                                                            EVP_MD_free);
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        EVP_MD_CTX_free);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  const std::clock_t start = std::clock();
  for (auto _ : state) {
    EVP_DigestInit_ex2(context.get(), md5.get(), nullptr);
    EVP_DigestUpdate(context.get(), sample.code_page_bytes.data(), sample.code_page_bytes.size());
    EVP_DigestFinal_ex(context.get(), digest, &size);
    benchmark::DoNotOptimize(digest);
  }
  PeerSeconds()[{chinese, bytes}] = SecondsPerIteration(start, state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

void DigestTextBench(benchmark::State& state, bool chinese) {
  const auto bytes = static_cast<std::size_t>(state.range(0));
  const Sample& sample = SampleFor(chinese, bytes);
  const std::clock_t start = std::clock();
  for (auto _ : state) {
    std::u16string hex = DigestText(sample.text, 32);
    benchmark::DoNotOptimize(hex);
  }
  const double seconds = SecondsPerIteration(start, state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  const auto peer = PeerSeconds().find({chinese, bytes});
  if (peer != PeerSeconds().end()) {
    state.counters["vs_openssl"] = peer->second / seconds;
  }
}

void RegisterPair(const char* name, bool chinese, std::int64_t bytes) {
  benchmark::RegisterBenchmark((std::string("OpenSslMd5/") + name).c_str(), OpenSslMd5, chinese)
      ->Arg(bytes);
  benchmark::RegisterBenchmark((std::string("DigestText/") + name).c_str(), DigestTextBench,
                               chinese)
      ->Arg(bytes);
}

[[maybe_unused]] const bool kRegistered = [] {
  RegisterPair("ascii", false, 64);
  RegisterPair("ascii", false, 4096);
  RegisterPair("ascii", false, 1 << 20);
  RegisterPair("chinese", true, 64);
  RegisterPair("chinese", true, 4096);
  RegisterPair("chinese", true, 1 << 20);
  return true;
}();

}  // namespace
