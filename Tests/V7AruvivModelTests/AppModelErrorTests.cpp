#include "V7Aruviv/Stores/AppModelError.h"

#include <gtest/gtest.h>

namespace k7 {
namespace {

using E = AppModelError;

// The cases whose sentences format their payload.
TEST(AppModelError, MessagesFormatTheirPayloads) {
    const struct {
        E error;
        const char* message;
    } cases[] = {
        {E(E::SPS1UWPositionOutOfRange{128}),
         "SPS-1UW naming positions are limited to 0\u2026127; sample position 128 was not sent."},
        {E(E::UnsavedProjectItem{0}),
         "Entry 1 has received data that must be saved before it can be referenced by a K7 project."},
        {E(E::FileContentMismatch{"syx", "WAV audio"}),
         "The file does not match its .syx extension; its contents are WAV audio. Rename it to the correct type or "
         "choose the intended file."},
        {E(E::FileContentMismatch{"", "SysEx data"}),
         "The file does not match its name; its contents are SysEx data. Rename it to the correct type or choose the "
         "intended file."},
        {E(E::InvalidExportExtension{"a", {"wav", "wave"}}),
         "a needs a matching .wav, .wave extension. Nothing was written; correct the name and retry."},
    };
    for (const auto& c : cases) EXPECT_EQ(std::string(c.error.what()), c.message) << c.error.describe();
}

// The refusals of loading and saving, each as the whole sentence the user reads.
TEST(AppModelError, ImportAndExportRefusalsReadAsWritten) {
    const struct {
        E error;
        const char* message;
    } cases[] = {
        {E(E::ImportFileTooLarge{67108865, 67108864}),
         "The file is 67108865 bytes, exceeding the bounded 67108864-byte import limit."},
        {E(E::ImportItemLimit{10000}),
         "The batch reached the bounded 10000-item limit. This item was not read; split the import into smaller "
         "batches."},
        {E(E::ImportPayloadLimit{536870912}),
         "The batch reached the bounded 536870912-byte retained-data limit. This item was not read; remove items or "
         "split the import into smaller batches."},
        {E(E::InvalidImportURL{}), "Choose a local file with an absolute path."},
        {E(E::ImportRequiresRegularFile{}),
         "Only regular files can be imported; folders, packages, pipes, and devices are not supported."},
        {E(E::UnsupportedImportContent{}),
         "The file contents are not supported SysEx, WAV, AIFF, AIFC, or K7 project data."},
        {E(E::NestedProjectNotSupported{}),
         "A K7 file list cannot load another K7 file list. Open the nested project separately."},
        {E(E::UnsupportedExportType{}),
         "This item has no supported export type. Re-import it as SysEx, WAV, AIFF, or AIFC."},
    };
    for (const auto& c : cases) EXPECT_EQ(std::string(c.error.what()), c.message) << c.error.describe();
}

TEST(AppModelError, EqualityComparesCaseAndEveryPayloadValue) {
    EXPECT_EQ(E(E::ExportRollbackFailed{{"a", "b"}}), E(E::ExportRollbackFailed{{"a", "b"}}));
    EXPECT_NE(E(E::ExportRollbackFailed{{"a", "b"}}), E(E::ExportRollbackFailed{{"b", "a"}}));
    EXPECT_NE(E(E::ImportFileTooLarge{1, 2}), E(E::ImportFileTooLarge{1, 3}));
    // Same text, different case.
    EXPECT_NE(E(E::InvalidItemName{"Select at least one item to save."}), E(E::NoSelectedItems{}));
}

TEST(AppModelError, DescribesCasesWithLabelledValues) {
    EXPECT_EQ(E(E::InvalidExportExtension{"a", {"wav", "wave"}}).describe(),
              R"(invalidExportExtension(name: "a", expected: ["wav", "wave"]))");
}

}  // namespace
}  // namespace k7
