; été
été "here"
