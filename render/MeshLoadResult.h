#pragma once
// The result of every mesh reader: 0 success, 1 to 9 the failures below. The first failure ends a load.

enum [[nodiscard]] MeshLoadResult : int{
    RES_OK = 0,
    RES_UNKNOWN = 1,
    RES_FILE_OPEN_ERROR = 2,
    RES_FILE_FORMAT_ERROR = 3,
    RES_FILE_VERSION_ERROR = 4,
    RES_NO_MATERIAL_MANAGER = 5,
    RES_UNSUPPORTED_MATERIAL = 6,
    RES_UNKNOWN_MATERIAL = 7,
    RES_FAIL_CHUNK_CREATE = 8,
    RES_FILE_DATA_ERROR = 9,
};

// "RES_FILE_FORMAT_ERROR" for 3; "" for 0 and for codes outside the table.
const char* MeshLoadResultName(int result);
// "Unexpected file format" for 3; "" for 0 and for codes outside the table.
const char* MeshLoadResultText(int result);
