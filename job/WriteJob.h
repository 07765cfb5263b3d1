// The jobs a worker thread runs, each from start to end: connect, do the work, log every step,
// disconnect, log the times.
#pragma once

#include "HexRecordReader.h"
#include "JobDisplay.h"
#include "JobSettings.h"

#include <functional>

// The worker routines. Each reads JobSettings, JobOptions and JobRunState, reports through
// GetJobDisplay(), leaves its outcome in JobRunState.Result, and returns 0 on every road.
// Writes the file, record by record, each read back and compared.
int WriteJob();
// Writes the file a page at a time: its bytes in each 256-byte page in one page write (split where the
// file leaves a gap), acknowledge polling for at most the write wait, one read back per page. The log
// names the records, as WriteJob's does.
int PageWriteJob();
// Reads the EEPROM (JobOptions' range) into the file, which appears only once it is complete.
int ReadJob();
// Compares the file with the EEPROM, writing nothing.
int VerifyJob();

// Goes through the file's records as every job that takes one does (JobOptions says whether it is a
// binary image): "File Open Error." when it cannot be opened, a stop honoured at each line, the first
// bad line logged and ending it. onRecord gets each data record; anything but Success ends it too.
JobResult ForEachRecord(JobDisplay& display, const std::function<JobResult(const HexRecordReader&)>& onRecord);
