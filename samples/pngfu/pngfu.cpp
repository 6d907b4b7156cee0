// PNG風: an invented family of PNG-like formats.
#include "sample_plugin.h"

namespace {
const SampleFormat kFormats[] = {
    {L"*.pnf;*.apnf", L"PNG風画像"},
    {L"*.pnz", L"PNG風圧縮画像"},
    {L"*.pnl", L"PNG風レイヤー画像"},
};
}  // namespace

const SampleDescription kSample = {
    L"PngFu",
    L"PNG風サンプル プラグイン 1.0 (C) 2024 Plexmoor",
    kFormats,
    static_cast<int>(sizeof(kFormats) / sizeof(kFormats[0])),
    L"Checkerboard",
    true,
    L"Gamma",
    SampleEditKind::Number,
    100,
    50,
    400,
    nullptr,
    0,
    L"ガンマ補正には 50 から 400 までの数を入力してください。",
};
