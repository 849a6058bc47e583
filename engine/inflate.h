// Moving a member's data from the archive to its output file: the stored copy
// and the inflate decoder (RFC 1951).
//
// Before either call: the archive is positioned at the member's first data
// byte (past the encryption header), LocalHeader holds the member's header,
// CompressedLeft its data size, OutFile is open and CrcValue is preset. Neither
// reports a status: the caller compares the CRC afterwards.
#pragma once

void CopyStored();
void InflateMember();
