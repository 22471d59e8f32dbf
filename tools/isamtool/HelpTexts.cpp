#include "tools/isamtool/HelpTexts.h"

namespace katalog::isamtool {

const char* const kExitStatusHelp =
    "Exit status: 0 success, 1 a table or data error, 2 a usage error; a command that a signal\n"
    "stopped cleanly exits with 128 + the signal's number (130 for Ctrl-C).\n"
    "\n"
    "Passwords: --password shows in 'ps' and in the shell's history; --password-file FILE and\n"
    "the environment's KATALOG_PASSWORD do not, and without any of them isamtool asks on the\n"
    "terminal when a table needs one. A table's cipher keeps casual readers out; it is no\n"
    "protection against anyone who knows the file format: keep secrets on an encrypted disk.";

const char* const kFilterHelp =
    "Filter expressions: Name = 'Ab*' AND NOT Price > 2.5 OR [Field name] <> NULL. A name with\n"
    "a blank or an accented letter goes in brackets; constants go in single quotes ('' for a\n"
    "quote) and are written in isamtool's forms, as it exports them: dates 2000-01-31, times\n"
    "13:45:00 or 13:45:00.250, date-times 2000-01-31 13:45:00 (or with T), numbers 50.5.\n"
    "= <> < > <= >= compare; a trailing * in a constant matches any ending (--no-partial: not).\n"
    "The viewer reads the same expressions with the Czech forms (31.1.2000, 50,5).";

const char* const kSchemaHelp =
    "Creates an empty table. An existing table is refused (nothing changes) unless --replace.\n"
    "The schema (UTF-8):\n"
    "  {\"locale\": 1029, \"blobBlockSize\": 512, \"password\": \"\",\n"
    "   \"fields\": [{\"name\": \"ID\", \"type\": \"autoinc\"},\n"
    "              {\"name\": \"DE_1\", \"type\": \"string\", \"size\": 60, \"required\": true},\n"
    "              {\"name\": \"P\", \"type\": \"bcd\", \"scale\": 2, \"min\": \"0\",\n"
    "               \"max\": \"1000\", \"default\": \"0\"},\n"
    "              {\"name\": \"DE_11\", \"type\": \"memo\"}],\n"
    "   \"primaryIndex\": {\"fields\": [\"DE_1\", \"ID\"], \"caseInsensitive\": false,\n"
    "                    \"descending\": false, \"compression\": \"none\"},\n"
    "   \"indexes\": [{\"name\": \"ByCity\", \"fields\": [\"DE_5\"], \"unique\": false,\n"
    "                \"caseInsensitive\": true, \"descending\": false,\n"
    "                \"descendingFields\": [], \"compression\": \"full\"}]}\n"
    "Types: string (size 1-250), date, time, datetime, boolean, smallint, integer, autoinc,\n"
    "word, float, currency, bcd (scale 0-18), bytes (size), varbytes (size), memo, blob,\n"
    "fmtmemo, graphic, typedbinary. Compression: none, leading, trailing, full. Without\n"
    "\"primaryIndex\" the table has no primary index; \"locale\" 0 (the default) means none.\n"
    "min, max and default are written in isamtool's forms: dates YYYY-MM-DD, times HH:MM:SS,\n"
    "numbers with '.', booleans true/false; DATE, TIME and NOW name the current date and time.\n"
    "A table's password comes from \"password\", else from the password options (not from\n"
    "KATALOG_PASSWORD, which only opens tables). The output of\n"
    "'isamtool info --json' is a schema too: the keys that only describe a table (table,\n"
    "localeName, codePage, enciphered, records, recordSize, lastId, files, keyLength) are read\n"
    "and left aside.";

const char* const kImportHelp =
    "CSV (RFC 4180): fields separated by the delimiter, rows by CR LF or LF, fields holding the\n"
    "delimiter, quotes or line breaks in double quotes, quotes inside doubled. The first row\n"
    "names the fields: any of the table's fields in any order; a name the table does not have\n"
    "is an error before anything is written. Blank lines are skipped when the header names more\n"
    "than one field.\n"
    "JSON: an array of objects, as export writes it, or one object per line; the keys name the\n"
    "fields (as in a header row), null is null, bytes and blobs are base64 strings, and \"inf\",\n"
    "\"-inf\" and \"nan\" are those floating values.\n"
    "Text is converted to the table's code page (its locale's, 1250 without a locale); a\n"
    "character that code page cannot hold is an error.\n"
    "\n"
    "The first row that fails - a value that does not read or does not fit its field, a\n"
    "character the code page cannot hold, a validity check, a duplicate key - stops the import\n"
    "with exit status 1 and a message naming the row (counted from 1 after the header row, with\n"
    "the line it starts on), the column and the value, and for a duplicate the index and its key\n"
    "values; the rows before it stay in the table and the message gives the --skip that goes on\n"
    "after them. An autoincrement field is numbered by the table unless --keep-ids: then the\n"
    "file's values are kept (a row without one is numbered) and the table's next number comes\n"
    "after the highest, so that export, create --schema (from info --json) and import\n"
    "--keep-ids give back an equal table.\n"
    "\n"
    "Nothing is written to standard output. Standard error gets \"N rows imported\" at the end\n"
    "and, when it is a terminal and the file has more than 10 000 rows, a progress line.\n"
    "SIGINT (Ctrl-C), SIGTERM or SIGHUP ends the import cleanly: the rows read so far are\n"
    "written, the table is closed, and standard error says (even with --quiet) how many rows\n"
    "were imported and the --skip that imports the rest.\n";

const char* const kExportHelp =
    "Writes the records to standard output in the order of the primary index (the physical\n"
    "order without one), or of --index.\n"
    "csv   RFC 4180: a header row of field names, then one row per record ending with LF;\n"
    "      fields holding the delimiter, a quote, CR or LF are in double quotes, quotes doubled.\n"
    "json  an array of objects, one per record, keys the field names: null as null, numbers\n"
    "      and booleans as JSON numbers and booleans, the floating values infinity and NaN as\n"
    "      the strings \"inf\", \"-inf\" and \"nan\" (CSV writes the same words), text and memo\n"
    "      as strings, dates and times as strings as below, bytes and blobs as base64 strings.\n"
    "sql   for SQLite: BEGIN; DROP TABLE IF EXISTS and CREATE TABLE with the fields (INTEGER,\n"
    "      REAL, NUMERIC for bcd, TEXT for text, dates and times, BLOB; NOT NULL where a value\n"
    "      is required) and the primary index as PRIMARY KEY; one INSERT per record; then\n"
    "      CREATE [UNIQUE] INDEX \"TABLE_INDEX\" for the secondary indexes (COLLATE NOCASE when\n"
    "      case-insensitive, DESC where descending), after the rows, which loads faster; COMMIT.\n"
    "      Strings in single quotes, bytes as X'hex', booleans as 1 and 0, infinities as 9e999\n"
    "      and -9e999, NaN as NULL. Validity checks and defaults are not copied.\n"
    "      isamtool export T --format sql | sqlite3 t.db\n"
    "A character the output encoding cannot hold is an error naming the record.\n";

const char* const kInfoHelp =
    "Shows the table's locale, record count and size, its fields (name, type, size, scale,\n"
    "required, min, max, default), its indexes (fields, options, key length) and the sizes of\n"
    "its files, all in UTF-8. --json writes the same as one JSON object in the form of a\n"
    "'create --schema' file, with min, max and default in isamtool's forms.";

const char* const kDeleteHelp =
    "Deletes the records the filter selects, or every record with --all, and prints how many.\n"
    "One of --filter (not empty) and --all is needed, so that an unset variable in a script\n"
    "cannot empty a table.\n"
    "SIGINT (Ctrl-C), SIGTERM or SIGHUP stops the deletion cleanly between two records: the\n"
    "table is closed, the number deleted is printed, standard error says so, and the exit\n"
    "status is 128 + the signal's number (130, 143 or 129). The same command deletes the rest.";

const char* const kVerifyHelp =
    "Checks the data, index and blob files of the table against each other and changes\n"
    "nothing: file lengths, every index tree and its free pages, one entry per record in every\n"
    "index under the record's key, the deleted-records index, the record count, the chain of\n"
    "deleted slots, every blob chain and the free blocks. Prints one line per problem and exits\n"
    "with 1, or prints OK. Lines beginning \"note:\" name what harms nothing (bytes an\n"
    "unfinished append left past a file's end, which the next append reuses) and keep the exit\n"
    "status 0.";

const char* const kRepairHelp =
    "Brings a table whose files no longer agree back to one that opens and verifies clean,\n"
    "from the records its data file holds: the header counts, a partial record at the end, the\n"
    "chain of deleted slots, every blob chain (a damaged one loses that field's value only) and\n"
    "the free blocks, and every index, rebuilt from the index definitions that can still be\n"
    "read. A record whose key a unique index already holds for another record is deleted. A\n"
    "sound table is left as it is. First keeps copies of the files as TABLE.DAT.bak,\n"
    "TABLE.IDX.bak and TABLE.BLB.bak (replacing older ones); if anything fails they are put\n"
    "back. Refuses a table another program has open.\n"
    "Prints one line per finding and action, and ends with the check 'verify' makes. Exits\n"
    "with 0 when the table was repaired or had nothing to repair. Ctrl-C stops the repair while\n"
    "nothing of the table is written yet.";

}  // namespace katalog::isamtool
