// ドット絵: invented palette formats for pixel art.
#include "sample_plugin.h"

namespace {
const SampleFormat kFormats[] = {
    {L"*.dot8", L"ドット絵 (8色)"},
    {L"*.dot16;*.d16", L"ドット絵 (16色)"},
    {L"*.dta", L"ドット絵アニメーション"},
};
}  // namespace

const SampleDescription kSample = {
    L"DotArt",
    L"ドット絵サンプル プラグイン 1.0 (C) 2024 Plexmoor",
    kFormats,
    static_cast<int>(sizeof(kFormats) / sizeof(kFormats[0])),
    L"Grid",
    false,
    L"Scale",
    SampleEditKind::Number,
    4,
    1,
    16,
    nullptr,
    0,
    L"拡大倍率には 1 から 16 までの数を入力してください。",
};
