// io: the block file reader's records. The reader itself keeps tokens in place inside
// the blocks it reads; a token reference is what the element records carry.
#ifndef MEASDOC_MD_IO_H
#define MEASDOC_MD_IO_H

struct a_blockinfo;

// A token inside a block: the text and the block that holds one reference for it (NULL
// when the reference holds none).
struct a_strmark {
    char* str;
    a_blockinfo* blk;
};

#endif
