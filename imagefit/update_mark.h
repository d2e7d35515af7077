// The mark of an update under way, kept on the flash drive
// (<flash drive>\.imagefit\update.mark): written before the first boot
// loader is sent, rewritten when the kernel follows, and dropped only once
// the whole set was programmed. A start that finds it knows that the last
// update stopped half-way (a power cut, a killed program, a run stopped with
// No) and which part of the flash may hold a mix of old and new.
#pragma once

#include <string_view>

namespace imagefit {

enum class MarkedStep { None, BootLoader, Kernel };

// What the mark says; None without a mark (or without a flash drive).
MarkedStep ReadUpdateMark();

// The mark names `step`, written whole: after a power cut it reads as the
// step before or this one. False when it cannot be written.
bool WriteUpdateMark(MarkedStep step);

// The set is programmed: the mark goes.
void DropUpdateMark();

// What a mark means, for the report: "The last update was interrupted while
// the boot loader was written: run it again."; empty for None.
std::u16string_view InterruptedUpdateText(MarkedStep step);

// The same, short enough for the status line: "Boot loader update
// interrupted: run it again."; empty for None.
std::u16string_view InterruptedStatusText(MarkedStep step);

}  // namespace imagefit
