# Splits the NttcReadTime lines of a stand-in log (CRs removed) into the program's polls and
# checks each poll against the program's read rule. POSIX awk (Debian's default is mawk).
#
#   awk -f poll_groups.awk -v groups_file=G -v reads_file=R < log
#
# A poll is one call of the program's time-code check: its reads follow one another within a
# millisecond or so, and polls are about 51 ms apart, so a pause of 25 ms or more between two
# reads starts a new poll. The rule: read the word twice, and a third time when the word of
# the second read differs from the first. Every read lands in the program's kept word, which
# a failed read leaves as it was (it starts at 0): the first read's word is the kept word
# after it, and the third read is due when the second leaves a different kept word.
#
# Writes to groups_file "<poll> <stamp of its first read> <reads> <number of its first read>",
# to reads_file "<read> <poll> <stamp> <result> <word or -> <note or ->", and to stdout
# "polls <n>" and one "error ..." line for each poll that breaks the rule.

BEGIN {
    gap_ms = 25
    polls = 0
    reads = 0
    kept = "0x00000000"
}

function check_poll(    need_third) {
    if (size < 2 || size > 3) {
        printf "error poll %d at %d has %d reads\n", polls, start, size
        return
    }
    need_third = (kept_after_second != first_word)
    if (need_third && size != 3)
        printf "error poll %d at %d: reads gave %s then %s, and no third read\n", polls, start, first_word, kept_after_second
    if (!need_third && size != 2)
        printf "error poll %d at %d: reads gave %s twice, and a third read\n", polls, start, first_word
}

function close_poll() {
    if (polls == 0)
        return
    check_poll()
    printf "%d %d %d %d\n", polls, start, size, first_read > groups_file
}

$2 == "NttcReadTime" {
    stamp = $1 + 0
    result = $5
    word = "-"
    note = "-"
    if (result == "1") {
        word = $6
        if (NF >= 7)
            note = $7
    } else {
        note = $6
    }
    if (polls == 0 || stamp - last_stamp >= gap_ms) {
        close_poll()
        polls++
        start = stamp
        size = 0
        first_read = reads + 1
    }
    reads++
    size++
    if (result == "1")
        kept = word
    if (size == 1)
        first_word = kept
    if (size == 2)
        kept_after_second = kept
    last_stamp = stamp
    printf "%d %d %d %s %s %s\n", reads, polls, stamp, result, word, note > reads_file
}

END {
    close_poll()
    # Make both files exist even for a log without reads.
    printf "" >> groups_file
    printf "" >> reads_file
    printf "polls %d\n", polls
}
