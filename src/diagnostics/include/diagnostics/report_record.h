// One queued report: made on the reporting thread, owned by the queue while queued,
// destroyed by the worker after delivery or by the queue when it is dropped.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

#include <winport/windows.h>

namespace quillmere {

// ReportRecord::errorNumber of a report without one, and of the two trace records.
inline constexpr LONG kNoErrorNumber = 0;
inline constexpr LONG kTraceEntered = 1;
inline constexpr LONG kTraceLeft = -1;

// A text of a record in BSTR form (its length in front), kept in the record's own block; or
// null. Lives as long as its record.
class RecordText {
 public:
  BSTR Get() const { return text_; }

 private:
  friend struct ReportRecord;
  BSTR text_ = nullptr;
};

// The record and its texts are one block, so a report costs one allocation, or none: a
// block of the usual size goes back to a pool when its record is deleted (on the worker)
// and is taken again for the next record (on a reporting thread).
struct ReportRecord {
  // A record with copies of the texts, null staying null; `time` as FormatTimestamp writes
  // it. Raises std::bad_alloc when the block cannot be allocated.
  static std::unique_ptr<ReportRecord> Make(DWORD level, DWORD processId, DWORD threadId,
                                            const OLECHAR* time, const OLECHAR* source,
                                            const OLECHAR* location, const OLECHAR* description,
                                            LONG errorNumber);

  // `delete` hands a block of the usual size back to the pool.
  static void operator delete(ReportRecord* record, std::destroying_delete_t) noexcept;

  ReportRecord(const ReportRecord&) = delete;
  ReportRecord& operator=(const ReportRecord&) = delete;

  DWORD level = 0;
  DWORD processId = 0;
  DWORD threadId = 0;
  RecordText time;         // FormatTimestamp() at the time of the report
  RecordText source;       // who reports, or null
  RecordText location;     // where, for errors that carry one, or null
  RecordText description;  // the message, or null
  LONG errorNumber = kNoErrorNumber;

 private:
  ReportRecord() = default;

  bool pooled_ = false;  // the block is of the pooled size
};

}  // namespace quillmere
