// Names per second through the rules, for typical Czech names and plain ASCII ones.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "names/RenameRules.h"
#include "table/uCZ2Ascii.h"

namespace {

const std::vector<std::string> kCzechNames = {"Příliš žluťoučký kůň úpěl ďábelské ódy.txt",
                                              "Fotky z dovolené 2005 (Šumava).jpg",
                                              "Řeka Vltava – večer.JPG",
                                              "účetní_závěrka_2023.xlsx",
                                              "Dvořák - Novosvětská.mp3",
                                              "čtvrtletní přehled.pdf",
                                              "Ústí nad Labem",
                                              "mapa_okolí_Českých_Budějovic.png"};

const std::vector<std::string> kAsciiNames = {"IMG_0001.JPG", "report-2023.pdf", "readme",
                                              "Music Collection", "a.b-c (1).tar.gz"};

void Rewrite(benchmark::State& state, const std::vector<std::string>& names,
             const tovana::RenameOptions& options) {
    for (auto _ : state) {
        for (const std::string& name : names) {
            benchmark::DoNotOptimize(tovana::Rewrite(name, false, options));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

tovana::RenameOptions AllRules() {
    tovana::RenameOptions o;
    o.ReplaceSpace = true;
    o.NonAlphaNum = true;
    o.ToLowerCase = true;
    return o;
}

void BM_RewriteCzechDiacriticsOnly(benchmark::State& state) {
    Rewrite(state, kCzechNames, {});
}
void BM_RewriteCzechAllRules(benchmark::State& state) {
    Rewrite(state, kCzechNames, AllRules());
}
void BM_RewriteAsciiDiacriticsOnly(benchmark::State& state) {
    Rewrite(state, kAsciiNames, {});
}
void BM_MaskAccepts(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& name : kCzechNames) {
            benchmark::DoNotOptimize(tovana::MaskAccepts(name, "*.JPG;*.BMP;*.GIF;*.PDF"));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kCzechNames.size()));
}
void BM_CZ2AsciiBytes(benchmark::State& state) {
    const std::string name = "P\xF8\xED\xB9li\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2.txt";
    for (auto _ : state) {
        benchmark::DoNotOptimize(CZ2Ascii(name));
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_RewriteCzechDiacriticsOnly);
BENCHMARK(BM_RewriteCzechAllRules);
BENCHMARK(BM_RewriteAsciiDiacriticsOnly);
BENCHMARK(BM_MaskAccepts);
BENCHMARK(BM_CZ2AsciiBytes);

}  // namespace

BENCHMARK_MAIN();
